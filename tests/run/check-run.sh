#!/usr/bin/env bash
# scripts/run as a newcomer meets it: no display, no settings file of their
# own, the example folder. It prints one Ok line per page, renames and
# repairs the pages, archives each with its folder through the 7za.exe it
# provides, and exits 0 by itself. With a settings file of your own (read as
# the program reads it) whose archiver fails, it exits 1 by itself too, and
# leaves the build's settings as they were (and does not run when it cannot
# keep a copy of them); on a folder without pages it says so and ends.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
W=$(mktemp -d)
# A first run: without the settings file in the build output (kept aside).
INI="$ROOT/build/win-i686/bin/halvok.ini"
[ -f "$INI" ] && mv "$INI" "$W/kept.ini"
trap '[ -f "$W/kept.ini" ] && mv "$W/kept.ini" "$INI"; rm -rf "$W"' EXIT
fails=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi; }
# The example pages as committed, whatever an earlier run left in the tree.
example() { mkdir -p "$1" && git -C "$ROOT" archive HEAD docs/example | tar -x -C "$1" --strip-components=2; }
unset DISPLAY

example "$W/ex"
out=$(timeout 300 "$ROOT/scripts/run" "$W/ex" 2>&1); rc=$?
echo "$out"
check "exit status 0" '[ $rc -eq 0 ]'
check "the archiver is provided" 'grep -q "archiving with 7za.exe" <<<"$out"'
check "one Ok line a page" '[ "$(grep "\[" <<<"$out")" = "$(printf "borsch.htm [Ok]\nНовости.htm [Ok]")" ]'
check "the pages renamed and repaired" \
  'iconv -f cp1251 "$W/ex/Новости.htm" | grep -q "Новости_files/Стиль газеты.css" &&
   iconv -f koi8-r "$W/ex/borsch.htm" | grep -q "borsch_files/Свекла.png" &&
   [ ! -e "$W/ex/borsch.html" ]'
list() { . "$ROOT/scripts/lib/wine.sh" && halvok_wine_env "$ROOT/build/win-i686" &&
         "$HALVOK_WINE" "$ROOT/build/win-i686/bin/7za.exe" l -slt -sccUTF-8 "Z:${1//\//\\}" |
         tr -d '\r' | sed -n 's/^Path = //p' | tail -n +2 | LC_ALL=C sort | tr '\n' '|'; halvok_wine_stop; }
check "each archive holds its page and folder" \
  '[ "$(list "$W/ex/borsch.7z")" = "borsch.htm|borsch_files|borsch_files\\Свекла.png|" ] &&
   [ "$(list "$W/ex/Новости.7z" | cut -d"|" -f1-2)" = "Новости.htm|Новости_files" ]'

# Your own settings, written as people write them (blanks around "=", keys in
# any case, LF line ends), for this run only.
example "$W/ex2"
build_ini=$(sha256sum <"$INI") CR=$'\r'
printf '[Options]\narc = Z:%s\nCOM = 7za q "%%s"\nbMSIE=1\n' "${ROOT//\//\\}\\build\\win-i686\\bin\\7za.exe" >"$W/bad.ini"
ln -s bad.ini "$W/link.ini"
out=$(HALVOK_INI="$W/link.ini" timeout 300 "$ROOT/scripts/run" "$W/ex2" 2>&1); rc=$?
echo "$out"
check "a failing archiver: exit status 1, ended by itself" '[ $rc -eq 1 ]'
check "your archiver is the one that ran" '! grep -q "names no archiver" <<<"$out"'
check "its error lines and the window's picture" \
  'grep -c "\[Ошибка: 7\]" <<<"$out" | grep -qx 2 && grep -q "run-window.png" <<<"$out"'
check "the window keys written back in place, through the link, LF kept" \
  '[ -L "$W/link.ini" ] && grep -qx "bMSIE=1" "$W/bad.ini" && grep -q "^PosX=" "$W/bad.ini" &&
   [ "$(grep -ci "^arc" "$W/bad.ini")" = 1 ] && ! grep -q "$CR" "$W/bad.ini"'
check "the build's own settings as they were" '[ "$(sha256sum <"$INI")" = "$build_ini" ]'

# No checked copy of the build's settings, no run: a copy that fails (here
# a cp that refuses to make it) must not let your file take their place.
mkdir -p "$W/bin"
printf '#!/bin/sh\nfor a; do last=$a; done\ncase "$last" in *.kept*) exit 1;; esac\nexec /bin/cp "$@"\n' >"$W/bin/cp"
chmod +x "$W/bin/cp"
out=$(PATH="$W/bin:$PATH" HALVOK_INI="$W/bad.ini" timeout 300 "$ROOT/scripts/run" "$W/ex2" 2>&1); rc=$?
echo "$out"
check "no copy of the build's settings: exit status 2, said so, they stay" \
  '[ $rc -eq 2 ] && grep -q "could not keep a copy" <<<"$out" &&
   [ "$(sha256sum <"$INI")" = "$build_ini" ] && [ ! -e "$INI.kept" ]'

# A folder with no page: nothing to do, said so, and the run ends.
mkdir -p "$W/empty"
out=$(timeout 300 "$ROOT/scripts/run" "$W/empty" 2>&1); rc=$?
echo "$out"
check "no page: exit status 1, said so" '[ $rc -eq 1 ] && grep -q "no page in the paths given" <<<"$out"'
echo "check-run: $fails failed"
[ $fails -eq 0 ]

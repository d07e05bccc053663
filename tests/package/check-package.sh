#!/usr/bin/env bash
# The release as users receive it: scripts/package's zip unpacked into a
# folder with nothing else and its halvok.exe run under Wine on the example
# pages, repair only; its text files as Windows keeps them; the tarball's
# halvok-repair run on a page and its manual page rendered; and the same
# bytes from a clean clone at another path. It runs after the README's first
# command, scripts/run docs/example/, as a newcomer runs them. Needs a
# display (ctest runs it under Xvfb with the Windows tests).
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
fails=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fails=$((fails + 1)); fi; }
# The example pages as committed, whatever an earlier run left in the tree.
example() { mkdir -p "$1" && git -C "$ROOT" archive HEAD docs/example | tar -x -C "$1" --strip-components=2; }

# A newcomer's first command comes first: scripts/run on the example folder
# repairs and archives its pages in the tree. The package and the pages the
# test takes must not depend on that (the tree's example is put back after).
if [ -z "$(git -C "$ROOT" status --porcelain -- docs/example)" ]; then
  trap 'git -C "$ROOT" checkout -q -- docs/example && git -C "$ROOT" clean -fdq -- docs/example; rm -rf "$W"' EXIT
  env -u DISPLAY "$ROOT/scripts/run" "$ROOT/docs/example/" >"$W/run.log" 2>&1 ||
    { cat "$W/run.log"; echo "FAILED: scripts/run docs/example/"; exit 1; }
  check "scripts/run docs/example/ first, as the README says" '[ -e "$ROOT/docs/example/borsch.7z" ]'
else
  echo "not checked: scripts/run docs/example/ first (the example folder has changes of yours)"
fi

"$ROOT/scripts/package" >"$W/package.log" 2>&1 || { cat "$W/package.log"; echo "FAILED: scripts/package"; exit 1; }
V=$(head -n 1 "$ROOT/VERSION") DIST="$ROOT/build/dist"
ZIP="$DIST/halvok-$V-win32.zip" TGZ="$DIST/halvok-repair-$V-linux-x86_64.tar.gz"
check "the three files, the checksums right" '(cd "$DIST" && sha256sum --quiet -c SHA256SUMS)'

# The zip, unpacked alone.
python3 -m zipfile -e "$ZIP" "$W/win"
H="$W/win/halvok-$V"
check "one folder, ASCII names" \
  '[ "$(ls "$W/win")" = "halvok-$V" ] && [ "$(LC_ALL=C ls "$H" | tr "\n" " ")" = "LICENSE.txt README.txt Rukovodstvo.txt halvok.exe halvok.ini " ]'
check "halvok.exe is the program the tests ran" 'cmp -s "$H/halvok.exe" "$ROOT/build/win-i686-tests/bin/halvok.exe"'
check "halvok.exe as received: its imports, version block and manifest" '"$ROOT/scripts/check-exe" "$H/halvok.exe"'
# Text as Windows keeps it: every line ends in CR LF; the guide in Russian
# and the settings, UTF-8 with a BOM (Notepad reads it so on a system of any
# language), the other files plain ASCII.
CR=$'\r'
crlf() { for f; do [ "$(grep -c "$CR\$" "$f")" = "$(wc -l <"$f")" ] && [ -z "$(tail -c 1 "$f" | tr -d '\n')" ] || return 1; done; }
bom() { for f; do [ "$(head -c 3 "$f" | od -An -tx1 | tr -d " ")" = efbbbf ] && iconv -f utf-8 -t utf-8 "$f" >/dev/null || return 1; done; }
check "text files with CRLF line ends; the guide and the settings in UTF-8 with a BOM" \
  'crlf "$H"/*.txt "$H/halvok.ini" && bom "$H/Rukovodstvo.txt" "$H/halvok.ini" &&
   grep -q "руководство пользователя" "$H/Rukovodstvo.txt" &&
   grep -q "Настройте параметры архиватора в ini файле" "$H/halvok.ini" &&
   ! LC_ALL=C grep -q "[^ -~$CR]" "$H/LICENSE.txt" "$H/README.txt"'
# Read in Notepad: no line past 76 characters, each title underlined to its
# own length (in characters).
fits() {
  python3 - "$@" <<'PY'
import sys
for f in sys.argv[1:]:
    lines = open(f, encoding="utf-8-sig", newline="").read().split("\r\n")
    if any(len(l) > 76 for l in lines) or len(lines) < 2 or len(lines[1]) != len(lines[0]):
        sys.exit(f + ": a line past 76 characters, or the title not underlined to its length")
PY
}
check "the guide and readme: lines within 76 characters, titles underlined" 'fits "$H/Rukovodstvo.txt" "$H/README.txt"'

# Repair only, as a user sets it: the archive box cleared in halvok.ini.
. "$ROOT/scripts/lib/wine.sh"
halvok_wine_env "$ROOT/build/win-i686-tests"
halvok_wine_init </dev/null >/dev/null 2>&1
python3 "$ROOT/scripts/lib/ini.py" set "$H/halvok.ini" bArc=0
example "$W/ex"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
"$HALVOK_WINE" "$ROOT/build/win-i686-tests/bin/halvok-run.exe" "$(winpath "$H/halvok.exe")" \
  "\"$(winpath "$W/ex")\"" >"$W/lines" 2>"$W/status"
rc=$?
check "its lines, and a run that ends by itself" \
  '[ $rc -eq 0 ] && [ "$(cat "$W/lines")" = "$(printf "borsch.htm [Ok]\nНовости.htm [Ok]")" ]'
check "the pages renamed and repaired" \
  'iconv -f cp1251 "$W/ex/Новости.htm" | grep -q "Новости_files/Стиль газеты.css" &&
   iconv -f koi8-r "$W/ex/borsch.htm" | grep -q "borsch_files/Свекла.png" && [ ! -e "$W/ex/borsch.7z" ]'

# The tarball: bin/, share/man/man1/ and share/doc/ under one folder.
mkdir -p "$W/lin" && tar -xzf "$TGZ" -C "$W/lin"
L="$W/lin/halvok-repair-$V"
check "laid out as cmake --install lays it out, with its readme and licence" \
  '[ "$(cd "$L" && find . -type f | LC_ALL=C sort | tr "\n" " ")" = "./bin/halvok-repair ./share/doc/halvok-repair/LICENSE ./share/doc/halvok-repair/README ./share/man/man1/halvok-repair.1 " ] &&
   cmp -s "$L/share/doc/halvok-repair/LICENSE" "$ROOT/LICENSE"'
# It starts on any x86_64 Linux of the last ten years: it asks the system
# for no library (or at most for a C library as old as 2.17).
newest_glibc() { objdump -T "$1" 2>/dev/null | grep -o "GLIBC_[0-9.]*" | sed "s/GLIBC_//" | sort -V | tail -n 1; }
check "halvok-repair needs no C library newer than 2.17" \
  'LC_ALL=C objdump -p "$L/bin/halvok-repair" | grep -q "file format elf64-x86-64" &&
   [ "$(printf "%s\n" "$(newest_glibc "$L/bin/halvok-repair")" 2.17 | sort -V | tail -n 1)" = 2.17 ]'
# Installed as its readme says, as root: the folders that are there already
# keep their mode and owner (a shared /usr/local/bin, 2775 root:staff).
install_cmd=$(grep -o 'tar -xzf [^ ]* .* -C /usr/local' "$L/share/doc/halvok-repair/README")
mkdir -p "$W/prefix/bin" && chmod 2775 "$W/prefix/bin" && chown 0:50 "$W/prefix/bin" 2>/dev/null
(cd "$DIST" && eval "${install_cmd/-C \/usr\/local/-C \"\$W/prefix\"}")
check "installed as its readme says: files in place, shared folders' mode and owner kept" \
  'case "$install_cmd" in *--no-overwrite-dir*) ;; *) false ;; esac &&
   [ -x "$W/prefix/bin/halvok-repair" ] && [ -f "$W/prefix/share/man/man1/halvok-repair.1" ] &&
   [ "$(stat -c %a "$W/prefix/bin")" = 2775 ] &&
   { [ "$(id -u)" != 0 ] || [ "$(stat -c %g "$W/prefix/bin")" = 50 ]; }'
printf '<img src="p_files/%%C0%%E1.png">' >"$W/p.htm"
check "its halvok-repair repairs a page" \
  '[ "$("$L/bin/halvok-repair" "$W/p.htm")" = "$W/p.htm rewritten" ] &&
   [ "$(cat "$W/p.htm")" = "$(printf "<img src=\"p_files/\xC0\xE1.png\">")" ]'
check "the manual page renders without a warning" \
  '[ -z "$(groff -man -ww -z "$L/share/man/man1/halvok-repair.1" 2>&1)" ]'
check "its halvok-repair and its manual page's footer tell the version" \
  '[ "$("$L/bin/halvok-repair" --version)" = "halvok-repair $V" ] &&
   grep -qx "\.TH HALVOK-REPAIR 1 \"[0-9]*\" \"Halvok $V\" .*" "$L/share/man/man1/halvok-repair.1"'

# A clean clone at another path gives the same bytes.
if [ -n "$(git -C "$ROOT" status --porcelain -- . ':!docs/example' 2>/dev/null)" ]; then
  echo "not checked: the same bytes from a clean clone (the tree has uncommitted changes)"
else
  git clone -q "$ROOT" "$W/another/clone" &&
    "$W/another/clone/scripts/package" >"$W/package2.log" 2>&1 || { echo "clone failed"; cat "$W/package2.log"; }
  check "the same bytes from a clean clone at another path" \
    'cmp -s "$DIST/SHA256SUMS" "$W/another/clone/build/dist/SHA256SUMS" &&
     cmp -s "$ZIP" "$W/another/clone/build/dist/$(basename "$ZIP")" &&
     cmp -s "$TGZ" "$W/another/clone/build/dist/$(basename "$TGZ")"'
fi
echo "check-package: $fails failed"
[ $fails -eq 0 ]

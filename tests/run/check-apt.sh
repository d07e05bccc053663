#!/usr/bin/env bash
# scripts/setup's package install when a mirror is out of step: a stand-in
# apt-get that fails with the machine's sources (as a mirror mid-sync does)
# must see the install tried again with the main suites alone, through a
# temporary source list without the security suite; one that always fails
# must give up after three rounds, saying so.
set -uo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
mkdir -p "$T/bin" "$T/etc/sources.list.d" "$T/tmp"
cat >"$T/etc/sources.list.d/debian.sources" <<'S'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
S
printf 'deb http://deb.debian.org/debian bookworm contrib\ndeb [arch=i386] http://security.debian.org/debian-security bookworm-security main\n' \
  >"$T/etc/sources.list"
# The stand-in: logs each call; with the machine's sources (no private
# source list named) it fails, as a mirror mid-sync makes apt-get fail.
cat >"$T/bin/apt-get" <<'S'
#!/usr/bin/env bash
echo "$*" >>"$STAND_IN_LOG"
parts=$(printf '%s\n' "$@" | sed -n 's/^Dir::Etc::SourceParts=//p')
[ -n "$parts" ] && [ "$STAND_IN_MODE" = main-works ] || exit 100
cat "$parts"/* >>"$STAND_IN_SOURCES"
S
printf '#!/bin/sh\nexec "$@"\n' >"$T/bin/sudo"
chmod +x "$T/bin/apt-get" "$T/bin/sudo"

# Runs halvok_apt_install with the stand-in in MODE; prints its status.
try() {
  : >"$T/log"; : >"$T/sources"
  ( export PATH="$T/bin:$PATH" TMPDIR="$T/tmp" HALVOK_APT_ETC="$T/etc" HALVOK_APT_PAUSE=0
    export STAND_IN_LOG="$T/log" STAND_IN_SOURCES="$T/sources" STAND_IN_MODE="$1"
    . "$ROOT/scripts/lib/apt.sh"
    halvok_apt_install wine wine32:i386 2>"$T/err" )
}
check() { # what, condition...
  local what="$1"; shift
  "$@" || { echo "FAIL: $what"; fail=1; }
}

try main-works; rc=$?
check "the fallback succeeds" [ $rc -eq 0 ]
check "it says what it did" grep -q 'trying the main suites alone' "$T/err"
check "it says it installed so" grep -q 'installed from the main suites alone' "$T/err"
check "the main suites are kept" grep -q '^Suites: bookworm bookworm-updates$' "$T/sources"
check "the one-line sources are kept" grep -q '^deb http://deb.debian.org/debian bookworm contrib$' "$T/sources"
check "no security suite is named" bash -c "! grep -q security '$T/sources'"
check "no second stanza is left" [ "$(grep -c '^Types:' "$T/sources")" -eq 2 ]  # update and install
check "the packages are installed" grep -q 'install -y -qq --no-install-recommends wine wine32:i386' "$T/log"
check "the machine's sources were tried first" bash -c "head -n 1 '$T/log' | grep -q '^update -qq$'"
check "nothing temporary is left" [ -z "$(ls -A "$T/tmp")" ]

try always-fails; rc=$?
check "a failure both ways fails" [ $rc -ne 0 ]
check "three rounds, each both ways" [ "$(grep -c '^update\|update -qq$' "$T/log")" -eq 6 ]
check "it says it gave up" grep -q 'the main suites alone too' "$T/err"
check "nothing temporary is left after a failure" [ -z "$(ls -A "$T/tmp")" ]
[ $fail -eq 0 ] && echo "scripts/setup's apt fallback: ok"
exit $fail

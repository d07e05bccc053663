# Installing Debian packages for scripts/setup. Source it; then
#   halvok_apt_install PKG...
# runs apt-get update and install. When either fails (a mirror caught in
# the middle of a sync serves an index of the wrong size, and a stale i386
# index then holds back wine32 behind newer amd64 libraries), it tries again
# with the main suites alone: a temporary copy of the machine's sources
# without the security suite and temporary index lists, named through apt
# options, so that nothing system-wide changes but the packages installed. Three rounds, then it gives up.
# HALVOK_APT_ETC (default /etc/apt) and HALVOK_APT_PAUSE (seconds between
# rounds, default 10) exist for the tests.

# Writes into folder $2 the sources of folder $1 (sources.list and
# sources.list.d/*.list, *.sources) without any suite named *-security.
halvok_apt_main_sources() {
  local etc="$1" out="$2" f name
  mkdir -p "$out"
  for f in "$etc/sources.list" "$etc"/sources.list.d/*.list "$etc"/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    name=$(basename "$f")
    [ "$f" = "$etc/sources.list" ] && name=00-sources.list
    case "$f" in
      *.sources)
        # deb822: stanzas apart by blank lines; a stanza that keeps no suite goes.
        awk 'function flush() { if (n && keep) for (i = 1; i <= n; i++) print s[i]; if (n && keep) print ""; n = 0; keep = 1 }
             BEGIN { keep = 1 }
             /^[ \t]*$/ { flush(); next }
             tolower($1) == "suites:" {
               line = "Suites:"; k = 0
               for (i = 2; i <= NF; i++) if ($i !~ /-security$/) { line = line " " $i; k++ }
               if (!k) keep = 0
               s[++n] = line; next }
             { s[++n] = $0 }
             END { flush() }' "$f" >"$out/$name" ;;
      *)
        awk '/^[ \t]*deb(-src)?[ \t]/ { for (i = 2; i <= NF; i++) if ($i ~ /-security(\/updates)?$/) next }
             { print }' "$f" >"$out/$name" ;;
    esac
  done
}

halvok_apt_install() {
  local etc="${HALVOK_APT_ETC:-/etc/apt}" pause="${HALVOK_APT_PAUSE:-10}"
  local sudo="" main try rc=1
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  main=$(mktemp -d "${TMPDIR:-/tmp}/halvok-apt.XXXXXX") || return 1
  halvok_apt_main_sources "$etc" "$main/sources.list.d"
  mkdir -p "$main/lists/partial"
  # Private lists too: the machine's own index stays as it was.
  local only_main=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$main/sources.list.d"
                   -o Dir::State::Lists="$main/lists" -o APT::Sandbox::User=root)
  for try in 1 2 3; do
    if $sudo apt-get update -qq && $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; then
      rc=0; break
    fi
    echo "setup: apt-get failed with the machine's sources; trying the main suites alone (without the security suite)" >&2
    if $sudo apt-get "${only_main[@]}" update -qq &&
       $sudo apt-get "${only_main[@]}" install -y -qq --no-install-recommends "$@" >/dev/null; then
      echo "setup: installed from the main suites alone; the security suite's updates of these packages come with the next apt-get upgrade" >&2
      rc=0; break
    fi
    [ $try -lt 3 ] && sleep "$pause"
  done
  rm -rf "$main"
  [ $rc -eq 0 ] || echo "setup: apt-get failed, the main suites alone too" >&2
  return $rc
}

# Wine settings shared by scripts/test, scripts/run and the helper scripts.
# Source it, then call halvok_wine_env BUILD_DIR and halvok_wine_init.
#
# Every Windows program here is the 32-bit (i686) build. Where the kernel
# runs 32-bit programs, Wine's own 32-bit loader starts them in a win32
# prefix. Where it refuses them (some sandboxed kernels have no 32-bit
# execution at all), the 32-bit loader runs under qemu's user-mode emulation
# in a win64 prefix: scripts/setup makes that layout in build/wine-qemu.
# HALVOK_WINE_QEMU=1 takes the qemu way on any host.

HALVOK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
HALVOK_QEMU_LAYOUT="$HALVOK_ROOT/build/wine-qemu"

# True when the qemu layout is the way to start 32-bit programs here.
halvok_wine_needs_qemu() {
  [ "${HALVOK_WINE_QEMU:-0}" = 1 ] && return 0
  ! /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Makes the qemu layout (once): qemu-i386 from Debian 12's backports suite,
# fetched with private apt lists so that the machine's own sources and
# packages stay as they are, and copies of Wine's two loaders beside a
# script named "wine" (the 64-bit loader starts 32-bit programs through the
# file of that name in its own folder) that runs the 32-bit one under qemu.
halvok_wine_qemu_layout() {
  local d="$HALVOK_QEMU_LAYOUT" lib="$HALVOK_QEMU_LAYOUT/usr/lib/wine"
  [ -x "$lib/wine" ] && [ -x "$d/qemu-i386" ] && return 0
  local apt="$d/apt" uri
  rm -rf "$d" && mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/sources" "$lib"
  # The machine's own Debian archive, as its sources name it.
  uri=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p; s/^deb \(\[[^]]*\] \)\?\([^ ]*\) bookworm .*/\2/p' \
          /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null |
        grep -v -e security -e '^$' | head -n 1)
  printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: %s\n' \
    "${uri:-http://deb.debian.org/debian}" /usr/share/keyrings/debian-archive-keyring.gpg \
    >"$apt/sources/backports.sources"
  local opts=(-o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache"
              -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources"
              -o APT::Sandbox::User=root -q)
  apt-get "${opts[@]}" update >/dev/null &&
    (cd "$apt" && apt-get "${opts[@]}" download qemu-user >/dev/null) || {
    echo "wine: cannot fetch qemu-user from bookworm-backports" >&2; return 1; }
  dpkg-deb --fsys-tarfile "$apt"/qemu-user_*.deb | tar -x -C "$d" --strip-components=3 \
    ./usr/bin/qemu-i386 || { echo "wine: qemu-i386 not in the package" >&2; return 1; }
  rm -rf "$apt"
  cp /usr/lib/wine/wine64 "$lib/wine64"
  cp /usr/lib/wine/wine "$lib/wine-i386.elf"
  # The loaders find their libraries and data beside their own folder.
  ln -s /usr/lib/x86_64-linux-gnu "$d/usr/lib/x86_64-linux-gnu"
  ln -s /usr/lib/i386-linux-gnu "$d/usr/lib/i386-linux-gnu"
  mkdir -p "$d/usr/share" && ln -s /usr/share/wine "$d/usr/share/wine"
  cat >"$lib/wine" <<'EOF'
#!/bin/sh
# Wine's 32-bit loader under qemu: it takes itself to be this file.
d="$(cd "$(dirname "$0")" && pwd)"
exec "$d/../../../qemu-i386" -0 "$d/wine" "$d/wine-i386.elf" "$@"
EOF
  chmod +x "$lib/wine"
}

halvok_wine_env() {
  local dir="$1" mode=win32
  halvok_wine_needs_qemu && mode=qemu
  mkdir -p "$dir/home" "$dir/xdg/config" "$dir/xdg/data" "$dir/xdg/cache"
  export WINEDEBUG=-all WINEPREFIX="$dir/wine-$mode" HALVOK_WINE_MODE=$mode
  # Wine's ANSI code page becomes 1251 (OEM 866); the compiled glibc locale
  # lets it make files with Cyrillic names.
  { export LC_ALL=ru_RU.UTF-8; } 2>/dev/null
  export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
  export HOME="$dir/home" XDG_CONFIG_HOME="$dir/xdg/config"
  export XDG_DATA_HOME="$dir/xdg/data" XDG_CACHE_HOME="$dir/xdg/cache"
  if [ $mode = win32 ]; then
    export WINEARCH=win32 HALVOK_WINE=/usr/lib/wine/wine
    export WINESERVER=/usr/lib/wine/wineserver32
  else
    # Always start programs through the copied 64-bit loader: it starts
    # 32-bit programs through the qemu script beside it.
    export WINEARCH=win64 WINELOADERNOEXEC=1
    export HALVOK_WINE="$HALVOK_QEMU_LAYOUT/usr/lib/wine/wine64"
    export WINESERVER=/usr/lib/wine/wineserver64
  fi
}

# Creates the prefix once, then starts a persistent wineserver and warms it
# up, so that the first test does not wait on Wine's helper processes. A
# server left running by an interrupted run is taken over, not fought.
halvok_wine_init() {
  if [ $HALVOK_WINE_MODE = qemu ] && [ ! -x "$HALVOK_WINE" ]; then
    echo "wine: the qemu layout is missing; run scripts/setup" >&2
    return 1
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$HALVOK_WINE" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    # Let Wine draw the caption itself: Xvfb has no window manager.
    "$HALVOK_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1 || true
    "$WINESERVER" -w
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: could not create the prefix $WINEPREFIX" >&2
    return 1
  fi
  # Wine draws the caption buttons with its Marlett font, which it finds only
  # in the prefix's own font folder.
  local marlett=/usr/share/wine/fonts/marlett.ttf
  if [ -f "$marlett" ] && [ -d "$WINEPREFIX/drive_c/windows/Fonts" ] &&
     [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
    cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  "$WINESERVER" -p 2>/dev/null || true
  "$HALVOK_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

halvok_wine_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}

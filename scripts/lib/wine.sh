# Wine settings shared by scripts/test, scripts/run and the helper scripts.
# Source it, then call halvok_wine_env BUILD_DIR ARCH and halvok_wine_init.

# Which Windows build the tests run: i686 where this host can start 32-bit
# programs, x86_64 where it cannot (some sandboxed kernels have no 32-bit
# execution at all; Wine's 32-bit loader then fails to start).
halvok_test_arch() {
  if [ -n "${HALVOK_TEST_ARCH:-}" ]; then echo "$HALVOK_TEST_ARCH"; return; fi
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
}

halvok_wine_env() {
  local dir="$1" arch="$2"
  mkdir -p "$dir/home" "$dir/xdg/config" "$dir/xdg/data" "$dir/xdg/cache"
  export WINEDEBUG=-all WINEPREFIX="$dir/wine"
  # Wine's ANSI code page becomes 1251 (OEM 866); no glibc locale is needed,
  # so the shell's complaint about the missing locale is silenced.
  { export LC_ALL=ru_RU.UTF-8; } 2>/dev/null
  export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
  export HOME="$dir/home" XDG_CONFIG_HOME="$dir/xdg/config"
  export XDG_DATA_HOME="$dir/xdg/data" XDG_CACHE_HOME="$dir/xdg/cache"
  if [ "$arch" = i686 ]; then
    export WINEARCH=win32 HALVOK_WINE=/usr/lib/wine/wine
    export WINESERVER=/usr/lib/wine/wineserver32
  else
    export WINEARCH=win64 HALVOK_WINE=/usr/lib/wine/wine64
    export WINESERVER=/usr/lib/wine/wineserver64
  fi
}

# Creates the prefix once, then starts a persistent wineserver and warms it
# up, so that the first test does not wait on Wine's helper processes.
halvok_wine_init() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$HALVOK_WINE" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER" -w
    # Let Wine draw the caption itself: Xvfb has no window manager.
    "$HALVOK_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      >/dev/null 2>&1 || true
    "$WINESERVER" -w
  fi
  # Wine draws the caption buttons with its Marlett font, which it finds only
  # in the prefix's own font folder.
  local marlett=/usr/share/wine/fonts/marlett.ttf
  if [ -f "$marlett" ] && [ -d "$WINEPREFIX/drive_c/windows/Fonts" ] &&
     [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
    cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  "$WINESERVER" -p
  "$HALVOK_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

halvok_wine_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
}

# Shared by the scripts: paths, the X display and the Wine prefixes.
# Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

# A virtual X display of our own, unless a real one is there and wanted.
start_xvfb() {
  export DISPLAY=:${DEVICELIST_XVFB_DISPLAY:-73}
  if ! xdpyinfo >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
  fi
}

# A 32-bit Wine prefix under build/ at the given system DPI, with a persistent
# wineserver (so that Wine's services do not hold on to our pipes).
wine_prefix() {
  local dpi=$1
  export WINEPREFIX="$build/wine/dpi$dpi" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p
  if [ ! -f "$WINEPREFIX/.dpi-$dpi" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
    # Wine's own fonts (Tahoma, the message font; Marlett, the caption buttons)
    # are found in the prefix, not where Debian installs them.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Without a window manager Wine draws the frames and captions itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null
    wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 </dev/null
    wineserver -k; wineserver -w
    wineserver -p
    touch "$WINEPREFIX/.dpi-$dpi"
  fi
  wineboot -i >/dev/null 2>&1 </dev/null
}

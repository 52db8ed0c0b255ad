# Shared by the scripts: paths, the X display and the Wine prefixes.
# Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

# A virtual X display of our own, unless a real one is there and wanted.
start_xvfb() {
  export DISPLAY=:${DEVICELIST_XVFB_DISPLAY:-73}
  if ! xdpyinfo >/dev/null 2>&1; then
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
    started_xvfb=$!
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
  fi
}

# A 32-bit Wine prefix under build/ at the given system DPI, with a persistent
# wineserver (so that Wine's services do not hold on to our pipes). With
# "desktop" as second argument, one whose windows a real desktop manages.
wine_prefix() {
  local dpi=$1 managed=N name="dpi$1"
  if [ "${2:-}" = desktop ]; then managed=Y name=desktop; fi
  export WINEPREFIX="$build/wine/$name" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  # Fails harmlessly when one is running already.
  wineserver -p >/dev/null 2>&1 </dev/null || true
  started_prefixes+=("$WINEPREFIX")
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
    # Wine's own fonts (Tahoma, the message font; Marlett, the caption buttons)
    # are found in the prefix, not where Debian installs them.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  # Windows of their own, drawn by Wine (there is no window manager, and
  # waiting for one costs two seconds a window); the system DPI.
  local settings="$WINEPREFIX/devicelist.reg"
  cat >"$settings.new" <<REG
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="$managed"
"Decorated"="$([ "$managed" = N ] && echo N || echo Y)"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:$(printf '%08x' "$dpi")

[HKEY_CURRENT_CONFIG\Software\Fonts]
"LogPixels"=dword:$(printf '%08x' "$dpi")
REG
  if ! cmp -s "$settings.new" "$settings"; then
    wine regedit /S "$(winepath -w "$settings.new")" >/dev/null 2>&1 </dev/null
    # Fonts and metrics follow the DPI only after a restart.
    wineserver -k; wineserver -w
    wineserver -p >/dev/null 2>&1 </dev/null || true
    mv "$settings.new" "$settings"
  fi
  rm -f "$settings.new"
  wineboot -i >/dev/null 2>&1 </dev/null
}

# Ends the wineservers and the Xvfb that this script started.
stop_wine_and_x() {
  local prefix
  for prefix in "${started_prefixes[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; done
  [ -n "${started_xvfb:-}" ] && kill "$started_xvfb" 2>/dev/null || true
}
started_prefixes=()

# Runs the demo program staged in $1 on the current prefix and display: saves
# window.png (as opened) and window-listed.png (after a click) in $2 and
# prints both panes.
demo_headless() {
  local demo=$1 shots=$2 program geometry
  mkdir -p "$shots"
  (cd "$demo" && exec wine DeviceList.exe >/dev/null 2>&1 </dev/null) &
  program=$!
  geometry=$(demo_driver window)
  [ -n "$geometry" ] || { echo "the window did not open" >&2; return 1; }
  sleep 0.3
  import -window root -crop "$geometry" +repage "$shots/window.png"
  demo_driver click
  sleep 0.3
  import -window root -crop "$geometry" +repage "$shots/window-listed.png"
  demo_driver close
  wait "$program" || true
}

demo_driver() {
  wine "$build/win32/tools/demo-driver/DemoDriver.exe" "$@" </dev/null 2>/dev/null | tr -d '\r'
}

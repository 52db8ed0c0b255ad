# Shared by the scripts: paths, the X display and the Wine prefixes.
# Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

# Where the machine runs 64-bit code only, the 32-bit programs run under the
# emulator that deps registered: the tests leave out the checks it cannot
# show, and the benchmarks say that their numbers are not native ones.
# Asked again after deps, which may have just registered it.
source "$root/scripts/i386.sh"
note_emulation() {
  DEVICELIST_EMULATION=$(i386_emulation)
  if [ -n "$DEVICELIST_EMULATION" ]; then export DEVICELIST_EMULATION; else unset DEVICELIST_EMULATION; fi
}
note_emulation

# The display Wine draws on: the one DEVICELIST_DISPLAY names, which must
# answer, or else a virtual one of our own on a display number that Xvfb
# finds free now. Never the desktop's DISPLAY: the tests type through it.
start_xvfb() {
  if [ -n "${DEVICELIST_DISPLAY:-}" ]; then
    export DISPLAY=$DEVICELIST_DISPLAY
    xdpyinfo >/dev/null 2>&1 && return 0
    echo "DEVICELIST_DISPLAY=$DEVICELIST_DISPLAY does not answer; unset it for a virtual display of our own" >&2
    return 1
  fi
  local number
  number=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 </dev/null &
  started_xvfb=$!
  for _ in $(seq 100); do [ -s "$number" ] && break; sleep 0.05; done
  export DISPLAY=":$(tr -d '[:space:]' <"$number")"
  rm -f "$number"
  if [ "$DISPLAY" = ":" ] || ! xdpyinfo >/dev/null 2>&1; then
    echo "Xvfb did not start (is the package xvfb installed?)" >&2
    return 1
  fi
}

# The prefixes the tests run in, by name: dpiN runs at N DPI with Wine's own
# message font; dpiN-fontH has the message font Tahoma at height -H there:
# 13 at 96 and 20 at 144 DPI are as tall as Windows' own (Segoe UI 9 pt), 24
# at 96 DPI is a text size made much bigger.
test_prefixes=(dpi96 dpi144 dpi192 dpi96-font13 dpi144-font20 dpi96-font24)

# LOGFONTW of Tahoma, regular, at the given height, as regedit's hex list.
logfont_hex() {
  local height=$1 bytes i
  bytes=$(printf '%08x' $((height & 0xFFFFFFFF)) | sed 's/\(..\)\(..\)\(..\)\(..\)/\4,\3,\2,\1/')
  bytes+=",00,00,00,00,00,00,00,00,00,00,00,00,90,01,00,00,00,00,00,01,00,00,00,00"
  for c in T a h o m a; do bytes+=",$(printf '%02x' "'$c"),00"; done
  for ((i = 6; i < 32; i++)); do bytes+=",00,00"; done
  echo "$bytes"
}

# A 32-bit Wine prefix under build/wine/NAME (see test_prefixes; "desktop" is
# one at 96 DPI whose windows a real desktop manages), with a persistent
# wineserver (so that Wine's services do not hold on to our pipes). A prefix
# is made under a temporary name and renamed when complete, so that one left
# half-made by an interrupted run is never used: it is made again.
wine_prefix() {
  local name=$1 dpi=96 font="" managed=N
  case "$name" in
    desktop) managed=Y ;;
    dpi*-font*) dpi=${name#dpi}; dpi=${dpi%%-*}; font=${name##*-font} ;;
    dpi*) dpi=${name#dpi} ;;
    *) echo "wine_prefix: unknown prefix $name" >&2; return 1 ;;
  esac
  local prefix="$build/wine/$name"
  export WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$prefix/.complete" ]; then
    local partial="$build/wine/.partial-$name"
    echo "making the Wine prefix $name" >&2
    WINEPREFIX="$partial" wineserver -k >/dev/null 2>&1 || true
    rm -rf "$partial" "$prefix"
    mkdir -p "$partial"
    WINEPREFIX="$partial" wineboot -i >/dev/null 2>&1 </dev/null
    # Wine's own fonts (Tahoma, the message font; Marlett, the caption buttons)
    # are found in the prefix, not where Debian installs them.
    cp /usr/share/wine/fonts/*.ttf "$partial/drive_c/windows/Fonts/"
    WINEPREFIX="$partial" wineserver -w
    touch "$partial/.complete"
    mv "$partial" "$prefix"
    # Each prefix holds 530 MB of Wine's libraries; the prefixes share one copy
    # (never written in place: Wine replaces, not rewrites them).
    hardlink -q -c -i '\.(dll|exe|drv|sys|ocx|cpl|acm|ax|tlb|ds|ttf)$' "$build/wine" >/dev/null 2>&1 || true
  fi
  export WINEPREFIX="$prefix"
  # A server left by an earlier run may still draw on a display that is gone.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p >/dev/null 2>&1 </dev/null
  started_prefixes+=("$WINEPREFIX")
  # Windows of their own, drawn by Wine (there is no window manager, and
  # waiting for one costs two seconds a window); the system DPI; a crashed
  # program ends at once instead of waiting in a crash dialog; the message font.
  local settings="$WINEPREFIX/devicelist.reg"
  cat >"$settings.new" <<REG
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="$managed"
"Decorated"="$managed"

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:$(printf '%08x' "$dpi")

[HKEY_CURRENT_CONFIG\Software\Fonts]
"LogPixels"=dword:$(printf '%08x' "$dpi")

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
  # Wine keeps the font at 96 DPI and scales it to the system DPI.
  if [ -n "$font" ]; then
    printf '\n[HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics]\n"MessageFont"=hex:%s\n' \
      "$(logfont_hex $((-(font * 96 + dpi / 2) / dpi)))" >>"$settings.new"
  fi
  if ! cmp -s "$settings.new" "$settings"; then
    wine regedit /S "$(winepath -w "$settings.new")" >/dev/null 2>&1 </dev/null
    # Fonts and metrics follow the DPI only after a restart.
    wineserver -k; wineserver -w
    wineserver -p >/dev/null 2>&1 </dev/null
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

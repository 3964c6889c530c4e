# Sourced by the run and test scripts: a display and a Wine prefix for the Windows program.
#   use_display   - keeps $DISPLAY if it works, else starts Xvfb on a free display number
#   use_wine_prefix DIR [fresh] - points Wine at DIR, made (anew with "fresh") and booted once
xvfb_pid=""

stop_xvfb() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; xvfb_pid=""; }

start_xvfb() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
  echo "Xvfb did not start on :$n" >&2
  return 1
}

use_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  start_xvfb
}

use_wine_prefix() {
  export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  if [ "${2:-}" = fresh ]; then
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    echo "wine: preparing $WINEPREFIX (takes a few seconds the first time)"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
}

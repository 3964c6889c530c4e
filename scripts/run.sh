#!/usr/bin/env bash
# Builds Tastovolant.exe and starts it under Wine: on the current display, or on a virtual one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/build.sh windows
source scripts/wine_env.sh
had_display=${DISPLAY:-}
use_display
if [ "${DISPLAY}" != "$had_display" ]; then
  echo "run: no usable display, so the program runs on the virtual display $DISPLAY (Xvfb)."
  echo "run: look at it with e.g. 'DISPLAY=$DISPLAY import -window root shot.png'; Ctrl-C ends it."
fi
trap 'stop_xvfb' EXIT
use_wine_prefix "$root/build/wine-run"
cd build/windows/bin
echo "run: starting build/windows/bin/Tastovolant.exe; on the phone, open http://<this PC's address>/"
set +e
wine Tastovolant.exe
code=$?
set -e
echo "run: Tastovolant ended with exit code $code"

#!/usr/bin/env bash
# A real browser against the real program: the Windows test process (under Wine) starts the
# program, its server and a keyboard hook, and waits; this script drives Chromium meanwhile.
#   run.sh <e2e_tests.exe> <program folder (Linux path)> <work folder (Linux path)>
set -uo pipefail
exe=$1 work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
export TASTOVOLANT_BROWSER_DIR="Z:$(echo "$work" | tr / '\\')"
wine "$exe" --gtest_filter='Remote.BrowserDriven' &
driver=$!
for _ in $(seq 600); do [ -s "$work/port" ] && break; sleep 0.1; done
if [ ! -s "$work/port" ]; then
  echo "browser test: the program's server did not come up"
  kill $driver 2>/dev/null
  exit 1
fi
node "$here/press_play.mjs" "$(cat "$work/port")" "$work/result.json"
echo "browser: $(cat "$work/result.json")"
wait $driver

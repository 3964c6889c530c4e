#!/usr/bin/env bash
# Builds everything and runs every test: the native unit tests (plain and under the sanitizers)
# and the Windows tests under Wine on a virtual display with a fresh Wine prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/build.sh native sanitize tsan windows

status=0
ctest --preset native || status=1
ctest --preset sanitize || status=1
# ThreadSanitizer over the whole native suite, the server's concurrency tests among it (about 2 min).
ctest --preset tsan || status=1

source scripts/wine_env.sh
start_xvfb
trap 'wineserver -k >/dev/null 2>&1 || true; stop_xvfb' EXIT
use_wine_prefix "$root/build/wine-test" fresh
# Web addresses that a test makes the program open go nowhere, instead of into a real browser.
wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d true /f >/dev/null 2>&1
ctest --preset windows || status=1

if [ $status -ne 0 ]; then echo "test: FAILED"; else echo "test: all passed"; fi
exit $status

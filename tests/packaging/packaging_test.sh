#!/usr/bin/env bash
# The packaging test: packs this build's program as a release is packed and checks the zip and the
# installer under Wine, on the current display (or a virtual one) and in a fresh Wine prefix of its
# own under WORK_DIR, so that installing never touches the prefix of the other tests.
#   packaging_test.sh PROGRAM_DIR WORK_DIR VERSION CHECK_EXE NETSH_RECORDER_EXE
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"

source "$root/scripts/wine_env.sh"
use_display
trap 'wineserver -k >/dev/null 2>&1 || true; stop_xvfb' EXIT
use_wine_prefix "$work/wine" fresh
# No menu entries or file associations on the Linux desktop for what the installer makes.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

/usr/bin/python3 "$root/tests/packaging/packaging_test.py" "$@"

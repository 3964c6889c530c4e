#!/usr/bin/env bash
# Builds the named presets (default: windows). Usage: scripts/build.sh [native] [sanitize] [windows]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(windows)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds (default 60) and prints the executions
# of each. Usage: tools/fuzz.sh [seconds] [target...]
# Each target starts from its committed corpus (tests/fuzz/corpus/<target>) and grows a working
# copy in build/fuzz/work/<target>; an input that breaks a property is left in build/fuzz/crashes/.
# Commit such an input to the corpus once its fault is fixed, so the unit tests replay it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

status=0
mkdir -p build/fuzz/crashes
printf '%-16s %14s %10s %s\n' target executions per-second outcome
for target in "${targets[@]}"; do
  work="build/fuzz/work/$target"
  mkdir -p "$work"
  log="build/fuzz/$target.log"
  outcome=clean
  # -max_len fits the largest head the server reads; -timeout catches an input that hangs.
  if ! "build/fuzz/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -max_len=20000 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/crashes/$target-" \
      "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    outcome="FAULT, see $log"
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1)
  printf '%-16s %14s %10s %s\n' "$target" "${runs:-?}" "${rate:-?}" "$outcome"
done
exit $status

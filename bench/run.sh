#!/usr/bin/env bash
# Every performance figure in one go, on loopback, each beside a reference measured in the same
# run, printed as one table (bench/make_table.py). Builds what it needs; installs nginx from
# Debian if it is missing. Takes about six minutes.
#
#   bench/run.sh
#
# Under Wine (a Wine prefix and virtual display of the benchmark's own, build/bench-wine, so that
# no test's keyboard hook runs in the same Wine server): the real Tastovolant.exe, driven by
# bench_driver.exe, and the minimal Winsock server winsock_reference.exe. Natively: the server
# core (native_core_server) and nginx. The load comes from http_load, a native client.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Rounds of each figure; the table gives their median and their spread (lowest to highest).
latency_rounds=5 latency_requests=1000
page_rounds=3 page_loads=100
throughput_rounds=3 throughput_seconds=10
idle_rounds=3 idle_seconds=10
native_rounds=3 native_seconds=5
frame_rounds=3
# Variants of the traced build (see bench/traced_program.cpp): as built, without the client
# log, without the status animation, and with the server polled by a thread of its own.
experiments=("" "log" "animation" "network-thread")

# A helper that ended early must not end the script by a write to its pipe.
trap '' PIPE
work=$(mktemp -d /tmp/tastovolant-bench.XXXXXX)
chmod 755 "$work"
results="$work/results.txt"
: >"$results"
note() { echo "bench: $*" >&2; }
record() { echo "$*" >>"$results"; }

# ---- what the benchmark needs -----------------------------------------------------------------
bash scripts/setup.sh
if ! command -v nginx >/dev/null 2>&1; then
  note "installing nginx (Debian) for the native reference"
  sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
  # The package must not start a system nginx: the benchmark runs its own on a loopback port.
  blocker=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | sudo_ tee /usr/sbin/policy-rc.d >/dev/null
    sudo_ chmod 755 /usr/sbin/policy-rc.d
    blocker=yes
  fi
  sudo_ apt-get update -qq
  DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -qq --no-install-recommends nginx >/dev/null
  [ -n "$blocker" ] && sudo_ rm -f /usr/sbin/policy-rc.d
fi

note "building"
[ -f build/native/build.ninja ] || cmake --preset native >/dev/null
[ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null
cmake --build --preset native --target http_load native_core_server status_frame_bench >/dev/null
cmake --build --preset windows --target Tastovolant TastovolantTraced bench_driver winsock_reference wine_costs >/dev/null
native_bench=build/native/bench
windows_bench=build/windows/bench
load="$native_bench/http_load"

# The program runs from a copy, so that a build of the tree meanwhile cannot change it mid-run.
program="$work/program"
mkdir -p "$program"
cp -r build/windows/bin/GFX build/windows/bin/Tastovolant.exe "$windows_bench/TastovolantTraced.exe" "$program/"
program_windows="Z:$(echo "$program" | tr / '\\')"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# ---- Wine: a display and a prefix of the benchmark's own ----------------------------------------
source scripts/wine_env.sh
start_xvfb
prefix="$root/build/bench-wine"
reference_pid="" nginx_pid="" core_pid="" driver_in=""
cleanup() {
  set +e
  [ -n "$driver_in" ] && stop_driver >/dev/null
  [ -n "$reference_pid" ] && kill "$reference_pid" 2>/dev/null
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  [ -n "$core_pid" ] && kill "$core_pid" 2>/dev/null
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
  stop_xvfb
  # The results and traces stay for a look; the program's copy goes.
  rm -rf "$work/program"
}
trap cleanup EXIT
use_wine_prefix "$prefix"
# A Wine server left by an earlier run of this prefix would be shared; start from none.
wineserver -k >/dev/null 2>&1 || true

# The Linux process of a Windows program of this prefix, by its 15-character name.
unix_pid() {
  local name=$1 p
  for p in /proc/[0-9]*; do
    [ "$(cat "$p/comm" 2>/dev/null)" = "$name" ] || continue
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && { basename "$p"; return 0; }
  done
  return 1
}
# Processor time (user + system, clock ticks) of a process and all its threads.
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
threads_of() { awk '/^Threads:/ {print $2}' "/proc/$1/status"; }
ticks_per_second=$(getconf CLK_TCK)
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p"; }

# ---- the pieces, timed alone before anything of ours runs ----------------------------------------
note "timing the pieces under Wine"
timeout 120 wine "$windows_bench/wine_costs.exe" | tr -d '\r' >"$work/pieces.txt" || true

# The tick alone: the idle floor of a loop that waits 3 ms at a time.
note "idle reference: a 3 ms wait loop, ${idle_rounds} x ${idle_seconds} s"
wine "$windows_bench/wine_costs.exe" tick $((idle_rounds * idle_seconds + 8)) >/dev/null 2>&1 &
tick_wine=$!
sleep 3
tick_pid=$(unix_pid wine_costs.exe)
server_pid=$(unix_pid wineserver64 || unix_pid wineserver)
for _ in $(seq "$idle_rounds"); do
  a=$(cpu_ticks "$tick_pid") b=$(cpu_ticks "$server_pid")
  sleep "$idle_seconds"
  a2=$(cpu_ticks "$tick_pid") b2=$(cpu_ticks "$server_pid")
  record idle reference "$(python3 -c "print(100 * (($a2 - $a) + ($b2 - $b)) / $ticks_per_second / $idle_seconds)")"
done
wait "$tick_wine" || true

# ---- the reference and the program under Wine ----------------------------------------------------
reference_port=$(free_port)
wine "$windows_bench/winsock_reference.exe" "$reference_port" 900 >"$work/reference.out" 2>&1 &
reference_pid=$!
export TASTOVOLANT_DIR="$program_windows"
# The driver takes commands on a pipe and answers on another; the shell keeps both open.
driver_in="" driver_out=""
# Starts the program through the driver on a free port (driver_port), trying three ports: now
# and then the program cannot have a port that looked free a moment before.
start_driver() {
  local attempt line
  for attempt in 1 2 3; do
    driver_port=$(free_port)
    rm -f "$work/driver.in" "$work/driver.out"
    mkfifo "$work/driver.in" "$work/driver.out"
    wine "$windows_bench/bench_driver.exe" "$driver_port" <"$work/driver.in" >"$work/driver.out" 2>>"$work/driver.err" &
    exec {driver_in}>"$work/driver.in" {driver_out}<"$work/driver.out"
    if IFS= read -r -t 90 line <&"$driver_out" && [[ $line == ready* ]]; then
      driver_ready=${line%$'\r'}
      return 0
    fi
    exec {driver_in}>&- {driver_out}<&-
    driver_in="" driver_out=""
    wait $! 2>/dev/null || true
  done
  return 1
}
driver_say() {
  local line
  echo "$1" >&"$driver_in" 2>/dev/null || return 1
  IFS= read -r -t 30 line <&"$driver_out" && echo "${line%$'\r'}"
}
stop_driver() {
  [ -n "$driver_in" ] || return 0
  driver_say quit || true
  exec {driver_in}>&- {driver_out}<&-
  driver_in="" driver_out=""
}
start_driver || { note "the driver did not start the program"; cat "$work/driver.err" >&2; exit 1; }
program_port=$driver_port
note "program: $driver_ready on port $program_port; reference on port $reference_port"
for _ in $(seq 50); do grep -q listening "$work/reference.out" && break; sleep 0.2; done
grep -q listening "$work/reference.out" || { note "the Winsock reference did not start"; exit 1; }
program_pid=$(unix_pid Tastovolant.exe)
server_pid=$(unix_pid wineserver64 || unix_pid wineserver)
reference_unix_pid=$(unix_pid winsock_referen)

# Both must answer the frame with the same bytes.
"$load" fetch "$program_port" "/host?m=pp" >"$work/frame.ours"
"$load" fetch "$reference_port" "/host?m=pp" >"$work/frame.reference"
cmp -s "$work/frame.ours" "$work/frame.reference" || { note "the reference's bytes differ from the program's frame"; exit 1; }
sleep 2  # start-up work (the update check) is over

note "idle: ${idle_rounds} x ${idle_seconds} s, server running, nobody asking"
for _ in $(seq "$idle_rounds"); do
  a=$(cpu_ticks "$program_pid") b=$(cpu_ticks "$server_pid")
  declare -A thread_ticks=()
  for t in /proc/"$program_pid"/task/*; do thread_ticks[$t]=$(cpu_ticks "${t#/proc/}"); done
  sleep "$idle_seconds"
  a2=$(cpu_ticks "$program_pid") b2=$(cpu_ticks "$server_pid")
  threads=""
  for t in $(ls -d /proc/"$program_pid"/task/* | sort -t/ -k5 -n); do
    threads+=" $(python3 -c "print(f'{100 * ($(cpu_ticks "${t#/proc/}") - ${thread_ticks[$t]:-0}) / $ticks_per_second / $idle_seconds:.1f}')")"
  done
  record idle_threads ours$threads
  record idle ours "$(python3 -c "print(100 * (($a2 - $a) + ($b2 - $b)) / $ticks_per_second / $idle_seconds)")"
  record idle_program ours "$(python3 -c "print(100 * ($a2 - $a) / $ticks_per_second / $idle_seconds)")"
  record idle_wineserver ours "$(python3 -c "print(100 * ($b2 - $b) / $ticks_per_second / $idle_seconds)")"
done

note "press latency: ${latency_rounds} rounds of ${latency_requests} requests"
for _ in $(seq "$latency_rounds"); do
  for side in ours reference; do
    port=$program_port; [ $side = reference ] && port=$reference_port
    out=$("$load" latency "$port" "/host?m=pp" "$latency_requests" || true)
    record latency_median $side "$(echo "$out" | field median_us)"
    record latency_p99 $side "$(echo "$out" | field p99_us)"
    record latency_failed $side "$(echo "$out" | field failed)"
  done
done

note "page load: ${page_rounds} rounds of ${page_loads} loads"
for _ in $(seq "$page_rounds"); do
  for side in ours reference; do
    port=$program_port; [ $side = reference ] && port=$reference_port
    out=$("$load" pageload "$port" "$page_loads" 6 || true)
    record page_median $side "$(echo "$out" | field median_us)"
    record page_failed $side "$(echo "$out" | field failed)"
  done
done

note "throughput and memory: ${throughput_rounds} rounds of ${throughput_seconds} s"
for _ in $(seq "$throughput_rounds"); do
  before=$(driver_say count | sed -n 's/count=//p')
  rss_before=$(rss_kb "$program_pid") threads_before=$(threads_of "$program_pid")
  out=$("$load" throughput "$program_port" /host 16 "$throughput_seconds" || true)
  after=$(driver_say count | sed -n 's/count=//p')
  rss_after=$(rss_kb "$program_pid") threads_after=$(threads_of "$program_pid")
  record threads ours "$threads_before $threads_after"
  record throughput ours "$(echo "$out" | field rps)"
  record throughput_failed ours "$(echo "$out" | field failed)"
  record logged ours "$((after - before)) $(echo "$out" | field sent)"
  record rss ours "$rss_before $rss_after"
  ref_before=$(rss_kb "$reference_unix_pid")
  out=$("$load" throughput "$reference_port" /host 16 "$throughput_seconds" || true)
  record throughput reference "$(echo "$out" | field rps)"
  record throughput_failed reference "$(echo "$out" | field failed)"
  record rss reference "$ref_before $(rss_kb "$reference_unix_pid")"
done
# Once the pool's idle threads have ended (at most 30 s), the program's resident size again.
for _ in $(seq 60); do
  [ "$(threads_of "$program_pid")" -le "$threads_before" ] && break
  sleep 0.5
done
record rss_settled ours "$(rss_kb "$program_pid") $(threads_of "$program_pid")"

exit_line=$(driver_say quit || true)
stop_driver_fds() { exec {driver_in}>&- {driver_out}<&-; driver_in="" driver_out=""; }
stop_driver_fds
record exit ours "$(echo "$exit_line" | sed -n 's/exit=//p')"
kill "$reference_pid" 2>/dev/null || true
reference_pid=""

# ---- where the time goes: the same program with its loop and handlers timed ----------------------
note "experiments with the traced build: ${#experiments[@]} variants"
# Each variant: the same program with its loop and handlers timed (bench/traced_program.cpp), a
# part left out or the server polled differently; 10 s idle, then 300 presses and 3 s of load.
export TASTOVOLANT_EXE=TastovolantTraced.exe
for variant in "${experiments[@]}"; do
  name=${variant:-as-built}
  trace_file="$work/trace-${variant// /-}.txt"
  export TASTOVOLANT_TRACE="Z:$(echo "$trace_file" | tr / '\\')" TASTOVOLANT_TRACE_WITHOUT="$variant"
  if start_driver; then
    port=$driver_port
    sleep 2
    traced_pid=$(unix_pid TastovolantTrac || true)
    server_pid=$(unix_pid wineserver64 || unix_pid wineserver || true)
    idle=-
    if [ -n "$traced_pid" ] && [ -n "$server_pid" ]; then
      a=$(cpu_ticks "$traced_pid") b=$(cpu_ticks "$server_pid")
      sleep "$idle_seconds"
      a2=$(cpu_ticks "$traced_pid") b2=$(cpu_ticks "$server_pid")
      idle=$(python3 -c "print(f'{100 * (($a2 - $a) + ($b2 - $b)) / $ticks_per_second / $idle_seconds:.1f}')")
    fi
    latency=$("$load" latency "$port" "/host?m=pp" 300 | field median_us || true)
    rps=$("$load" throughput "$port" /host 16 3 | field rps || true)
    record experiment "${name// /+}" "$idle $latency $rps"
  fi
  stop_driver >/dev/null
done
unset TASTOVOLANT_EXE TASTOVOLANT_TRACE TASTOVOLANT_TRACE_WITHOUT
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true

# ---- natively: the server core against nginx ---------------------------------------------------
note "native core against nginx: ${native_rounds} rounds of ${native_seconds} s"
mkdir -p "$work/core" "$work/nginx/www"
chmod 755 "$work/nginx" "$work/nginx/www"
coproc CORE { cd "$work/core" && exec "$root/$native_bench/native_core_server" 600; }
core_pid=$CORE_PID
IFS= read -r -t 10 line <&"${CORE[0]}"
core_port=${line#listening port=}
# nginx serves the same body as the core's frame, from a file.
"$load" fetch "$core_port" /host | python3 -c 'import sys; d = sys.stdin.buffer.read(); sys.stdout.buffer.write(d[d.index(b"\r\n\r\n") + 4:])' >"$work/nginx/www/host.html"
chmod 644 "$work/nginx/www/host.html"
nginx_port=$(free_port)
cat >"$work/nginx/nginx.conf" <<EOF
daemon off;
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log crit;
events { worker_connections 4096; }
http {
  access_log off;
  server {
    listen 127.0.0.1:$nginx_port backlog=4096;
    root $work/nginx/www;
    location / { default_type text/html; try_files /host.html =404; }
  }
}
EOF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
for _ in $(seq 50); do "$load" fetch "$nginx_port" /host >/dev/null 2>&1 && break; sleep 0.1; done
native_sent=1
for _ in $(seq "$native_rounds"); do
  for side in ours reference; do
    port=$core_port; [ $side = reference ] && port=$nginx_port
    out=$("$load" throughput "$port" /host 16 "$native_seconds" || true)
    record native $side "$(echo "$out" | field rps)"
    record native_failed $side "$(echo "$out" | field failed)"
    [ $side = ours ] && native_sent=$((native_sent + $(echo "$out" | field sent)))
  done
done
echo quit >&"${CORE[1]}"
IFS= read -r -t 10 line <&"${CORE[0]}" || line=""
record native_logged ours "$(echo "$line" | field count) $native_sent"
kill "$nginx_pid" 2>/dev/null || true
nginx_pid="" core_pid=""

# ---- the status frame, natively -------------------------------------------------------------------
note "status frame: ${frame_rounds} runs"
for _ in $(seq "$frame_rounds"); do
  out=$("$native_bench/status_frame_bench")
  record frame ours "$(echo "$out" | awk '/^whole frame/ {print $(NF-3)}')"
  record frame reference "$(echo "$out" | awk '/^reference: memcpy/ {print $(NF-3)}')"
done

# ---- the table -------------------------------------------------------------------------------------
echo
python3 bench/make_table.py "$results"
echo
echo "pieces under Wine (each alone, before the program ran):"
sed 1d "$work/pieces.txt" | sed 's/^/  /'
echo
echo "experiments, traced build (idle % of a core / press latency median us / requests a second, 16 clients 3 s):"
awk '$1 == "experiment" {v = $2; gsub(/\+/, " ", v); printf "  %-32s idle %5s %%   latency %9s us   throughput %7s /s\n", v, $3, $4, $5}' "$results"
trace="$work/trace-.txt"
if [ -s "$trace" ]; then
  echo
  echo "where the time goes, traced build as built: the 300 presses (connections 1 to 300)"
  python3 bench/trace_report.py "$trace" 1 300 | sed 's/^/  /'
  echo "the same trace with the 3 s of load"
  python3 bench/trace_report.py "$trace" | sed 's/^/  /'
fi
echo
echo "raw results: $results"

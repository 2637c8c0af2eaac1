#!/bin/sh
# What a ticking agent costs while it has nothing to do: the real Stub.exe as the
# transient agent (no timed probes) for SECONDS under Wine, its CPU time and the Wine
# server's, per hour, beside an idle control process measured the same way (a window
# of hold_window that only pumps messages). Also prints the probe rate per day for
# each probe interval (bench_probe_rate, a driver figure of the timing rules).
#   sh bench/bench_agent_idle.sh [SECONDS]      (default 120)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
b=$(cd "$root" && cd "${WIN_BUILD:-build/windows}" && pwd)
n=$(cd "$root" && cd "${NATIVE_BUILD:-build/native}" && pwd)
seconds=${1:-120}
out=${BENCH_OUT:-$root/build/bench-agent}
env=$out/wine-agent
for f in "$b/Stub.exe" "$b/tests/agent_controller.exe" "$b/tests/hold_window.exe" "$n/stubpack" \
  "$n/bench/bench_probe_rate"; do
  [ -f "$f" ] || { echo "bench_agent_idle: $f is missing (build both trees first)" >&2; exit 1; }
done
mkdir -p "$out"
run="$root/tests/support/wine-run.sh $env"
holder=""
cleanup() {
  $run "$b/tests/agent_controller.exe" stop .AutoUpdate.X_Agent 0 >/dev/null 2>&1 || true
  [ -n "$holder" ] && { kill "$holder" 2>/dev/null || true; wait "$holder" 2>/dev/null || true; }
  sh "$root/tests/support/wine-env.sh" stop "$env" >/dev/null 2>&1 || true
}
trap cleanup EXIT
sh "$root/tests/support/wine-env.sh" start "$env" >/dev/null
prefix=$(cd "$env/prefix" && pwd)
dir="$prefix/drive_c/agent"
mkdir -p "$dir"
"$n/stubpack" build --stub "$b/Stub.exe" -o "$dir/Agent.exe" --agent --agent-name Agent.exe --info-file Agent.info \
  --info-location http://127.0.0.1:9/none >/dev/null 2>&1
printf '[OriginalSetup]\r\nVersionOriginal=1\r\nProbeSecondsInterval=-1\r\n' >"$dir/Agent.original"

# The Linux process of a Windows program of this prefix, found by its image name and
# the prefix in its environment (read only: nothing is ever signalled by name).
linux_pid() { # image name
  for p in /proc/[0-9]*; do
    [ -r "$p/cmdline" ] || continue
    tr '\0' ' ' <"$p/cmdline" 2>/dev/null | grep -q "$1" || continue
    tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" || continue
    basename "$p"
    return 0
  done
  return 1
}
# utime + stime of a process, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
server_pid=$(cat "$env/wineserver.pid")
hz=$(getconf CLK_TCK)

measure() { # label pid
  a=$(cpu_ticks "$2"); s1=$(cpu_ticks "$server_pid")
  sleep "$seconds"
  z=$(cpu_ticks "$2"); s2=$(cpu_ticks "$server_pid")
  awk -v l="$1" -v p=$((z - a)) -v s=$((s2 - s1)) -v t="$seconds" -v hz="$hz" 'BEGIN {
    printf "%-34s %10.0f ms/h  %6.3f %%   wineserver %8.0f ms/h\n", l, p * 1000 / hz * 3600 / t, p / hz / t * 100, s * 1000 / hz * 3600 / t }'
}

echo "Idle cost over $seconds s each under Wine (CPU per hour of running; one at a time):"
$run "$dir/Agent.exe" >/dev/null 2>&1
i=0
until apid=$(linux_pid 'X_Agent.exe'); do [ $i -lt 100 ] || { echo "no agent process" >&2; exit 1; }; sleep 0.1; i=$((i + 1)); done
sleep 3
measure "transient agent (1 s ticks)" "$apid"
$run "$b/tests/agent_controller.exe" stop .AutoUpdate.X_Agent 0 >/dev/null 2>&1
$run "$b/tests/hold_window.exe" BenchIdleControl 'C:\idle.ready' $((seconds + 30)) >/dev/null 2>&1 &
holder=$!
i=0
until hpid=$(linux_pid 'hold_window.exe'); do [ $i -lt 100 ] || { echo "no control process" >&2; exit 1; }; sleep 0.1; i=$((i + 1)); done
sleep 3
measure "control (pumps every 100 ms)" "$hpid"
echo
echo "Probes per day by ProbeSecondsInterval (driver figure of the timing rules):"
"$n/bench/bench_probe_rate"

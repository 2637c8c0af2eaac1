#!/bin/sh
# One full update under Wine, end to end, against its fixed waits and three floors.
#
#   sh bench/bench_update.sh                       (from anywhere, after both builds)
#   RUNS=3 sh bench/bench_update.sh                (three updates one after the other)
#   VISIBLE=1 sh bench/bench_update.sh             (the setup with its window: Wine adds ~2 s)
#   WINDOWS_TREE=build/x-windows NATIVE_TREE=build/x-native BENCH_DIR=build/x-bench \
#     sh bench/bench_update.sh                     (other build trees and work folder)
#   BENCH_TRACE=/tmp/trace.txt ...                 (keep the time-stamped agent trace)
#
# Run by hand, not by CTest. The update package is payload A of the extraction
# benchmark (bench/make_payload.py A: ~200 MB in 40 files, made here when missing) with
# the engine double as Engine.exe (it ends at once, as in bench/bench_setup.sh), packed
# at level 9 and served by the test server (tests/support/http_server.py) on 127.0.0.1.
# The agent "C:\bench agent\Agent.exe" runs beside DemoApp.exe (the demo application).
# Each round publishes an information file that offers a higher version
# (ShutDownMethod=Using WM_CLOSE, RestartProcess=1, BackgroundUpdate=1 unless VISIBLE=1)
# and asks the running agent to look now (Agent.exe /TEST=1). The agent then fetches the
# information file, decides, downloads the package, checks its token, closes
# DemoApp.exe, runs the setup, records the version, starts DemoApp.exe again and
# restarts itself. Measured:
#   total      from the agent's " Fire " trace line (the probe starts) to the end line of
#              that agent process (after its restart step), by the arrival times of the
#              trace lines at the debug viewer (vdebug.exe, stamped as they come), and
#              the wall clock from the /TEST=1 request to the same line
#   steps      the same clock between the agent's step lines (" ==== PerformAutoUpdate-N")
#   waits      the fixed waits of the path, summed: 500 ms before and after the
#              information file's fetch and the same around the package's; in the setup
#              flow 1000 ms before the extraction, the extraction's 500 ms end pause,
#              1000 ms after it, 1000 ms after the engine's start and 1000 ms after the
#              engine has ended (the wait for the engine itself ends with it); 1000 ms in
#              the restart: 7500 ms. The shut-down's wait ends when the program has
#              gone (bounded), so it counts as the application's end below. Outside the total:
#              up to 1000 ms until the agent's next tick takes the request, and the 10 s
#              that the restarted agent waits before its new copy starts (printed apart)
#   floors     the download of the same file by the plainest WinINet loop
#              (bench/inet_floor.exe) and by curl (and, for reference, by the product's
#              download code alone in its test driver tests/support/http_driver.exe), the extraction floor
#              (bench/extract_floor.exe, as bench/bench_setup.sh uses it), and the
#              application's own end: from a WM_CLOSE posted by the robot (winrobot
#              close returned) until its Wine process has gone from /proc (Wine takes
#              about 2 s to end a program that had a window), all in the same round
#   overhead   total - waits - download floor - extraction floor - end of the application
#   memory     the peak resident size (VmHWM) of the Wine process of X_Agent.exe, read from
#              /proc while it runs, and the agent's own "PeakMemory" trace line (its peak
#              private bytes)
# Timings never make the script fail; it exits 1 only when the update did not happen.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
b=${WINDOWS_TREE:-$root/build/windows}
n=${NATIVE_TREE:-$root/build/native}
out=${BENCH_DIR:-$root/build/bench-update}
case $b in /*) ;; *) b=$root/$b ;; esac
case $n in /*) ;; *) n=$root/$n ;; esac
case $out in /*) ;; *) out=$root/$out ;; esac
runs=${RUNS:-1}
visible=${VISIBLE:-0}
env=$out/wine-update
for f in "$b/Stub.exe" "$b/vdebug.exe" "$b/DemoApp.exe" "$b/winrobot.exe" "$b/tests/engine_double.exe" \
  "$b/tests/http_driver.exe" "$b/bench/inet_floor.exe" "$b/bench/extract_floor.exe" "$n/stubpack"; do
  [ -f "$f" ] || { echo "bench_update: $f is missing: build the windows and native presets first" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "bench_update: curl is needed" >&2; exit 1; }
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
mkdir -p "$out"
work=$(mktemp -d "$out/run.XXXXXX")
server="" viewer="" stamper="" poller=""
prefix=$env/prefix
dir="$prefix/drive_c/bench agent"
wdir='C:\bench agent'
run="$root/tests/support/wine-run.sh $env"

die() {
  echo "bench_update: $*" >&2
  [ -f "$dir/X_Agent.log" ] && { echo "--- X_Agent.log (last lines)" >&2; tr -d '\r' <"$dir/X_Agent.log" | tail -25 >&2; }
  exit 1
}
cleanup() {
  [ -n "${BENCH_TRACE:-}" ] && [ -f "$work/trace.txt" ] && cp "$work/trace.txt" "$BENCH_TRACE"
  if [ -f "$dir/X_Agent.exe" ]; then
    $run "$wdir\\Agent.exe" /STOP=0 >/dev/null 2>&1 || true
    i=0
    while [ -f "$dir/X_Agent.exe" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  fi
  $run "$b/winrobot.exe" close --class VabrixDemoApp >/dev/null 2>&1 || true
  for pid in $poller $viewer $stamper $server; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  sh "$root/tests/support/wine-env.sh" stop "$env" >/dev/null 2>&1 || true
  rm -rf "$work" "$dir"
}
trap cleanup EXIT
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
value() { tr -d '\r' | sed -n "s/^$1=//p" | head -1; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
wait_for() { # seconds what command...
  limit=$(($1 * 10)) what=$2
  shift 2
  i=0
  until "$@"; do [ $i -lt $limit ] || die "$what"; sleep 0.1; i=$((i + 1)); done
}

# ---- the update package ---------------------------------------------------------------
if [ ! -d "$out/flat-A" ]; then
  echo "making payload A"
  rm -rf "$out/flat-A.part"
  python3 "$root/bench/make_payload.py" A "$out/flat-A.part" --flat
  mv "$out/flat-A.part" "$out/flat-A"
fi
mkdir -p "$out/www"
pkg=$out/www/Update.exe
newer() { [ -n "$(find "$1" -newer "$2" 2>/dev/null)" ]; }
if [ ! -f "$pkg" ] || newer "$b/Stub.exe" "$pkg" || newer "$n/stubpack" "$pkg" || newer "$b/tests/engine_double.exe" "$pkg"; then
  echo "packing the update package"
  rm -rf "$out/files" && mkdir -p "$out/files"
  cp "$out/flat-A"/* "$out/files/"
  cp "$b/tests/engine_double.exe" "$out/files/Engine.exe"
  "$n/stubpack" build --stub "$b/Stub.exe" -o "$pkg" --level 9 --token bench-update --main Engine.exe \
    "$out/files" >/dev/null || die "stubpack failed"
  rm -rf "$out/files"
fi
bytes=$(stat -c %s "$pkg")

# ---- Wine, the server, the stamped viewer, the memory reader -----------------------------
sh "$root/tests/support/wine-env.sh" start "$env" >/dev/null
python3 "$root/tests/support/http_server.py" --root "$out/www" --port-file "$work/port" >"$work/server.out" 2>&1 &
server=$!
wait_for 10 "the server did not start" test -s "$work/port"
base="http://127.0.0.1:$(cat "$work/port")"
# Every trace line gets the wall time (ms) at which it reached the viewer; the agent
# sends each line synchronously, so that is when the agent wrote it.
mkfifo "$work/trace.fifo"
python3 -c '
import sys, time
out = open(sys.argv[1], "wb", buffering=0)
for line in iter(sys.stdin.buffer.readline, b""):
    out.write(b"%d " % int(time.time() * 1000) + line.rstrip(b"\r\n") + b"\n")
' "$work/trace.txt" <"$work/trace.fifo" &
stamper=$!
$run "$b/vdebug.exe" --ready-file "$(winpath "$work/viewer.ready")" --timeout 3600 >"$work/trace.fifo" 2>/dev/null &
viewer=$!
wait_for 30 "no debug viewer" test -f "$work/viewer.ready"
cat >"$work/poll.py" <<'EOF'
# Peak resident size (VmHWM, KB) of every process of the bench agent's transient copy.
import os, signal, sys, time
target, out = sys.argv[1].encode(), sys.argv[2]
peaks, running = {}, [True]
signal.signal(signal.SIGTERM, lambda *a: running.__setitem__(0, False))
while running[0]:
    for p in os.listdir("/proc"):
        if not p.isdigit():
            continue
        try:
            if target not in open("/proc/%s/cmdline" % p, "rb").read():
                continue
            for line in open("/proc/%s/status" % p):
                if line.startswith("VmHWM:"):
                    peaks[p] = max(peaks.get(p, 0), int(line.split()[1]))
        except OSError:
            pass
    with open(out + ".tmp", "w") as f:
        f.write("".join("%s %d\n" % kv for kv in peaks.items()))
    os.replace(out + ".tmp", out)
    time.sleep(0.1)
EOF
python3 "$work/poll.py" 'bench agent\X_Agent.exe' "$work/mem" &
poller=$!

# ---- the agent and the application -----------------------------------------------------
rm -rf "$dir" && mkdir -p "$dir"
"$n/stubpack" build --stub "$b/Stub.exe" -o "$dir/Agent.exe" --agent --agent-name Agent.exe --agent-log \
  --info-file Agent.info --info-location "$base/vendor" --token bench-update >/dev/null 2>&1 || die "stubpack --agent failed"
cp "$b/DemoApp.exe" "$dir/"
printf '[DemoApp]\r\nVersion=1\r\n' >"$dir/DemoApp.ini"
printf '[OriginalSetup]\r\nVersionOriginal=1\r\nProbeSecondsInterval=-1\r\nReAskSecondsInterval=0\r\nProgramName=Bench App\r\n[Directories]\r\nTargetDir=%s\r\n' \
  "$wdir" >"$dir/Agent.original"
background=$((1 - visible))
offer() { # version
  printf '[NewSetup]\r\nVersionNew=%s\r\nStamp=%s\r\nDownloadURL_UPDATE=%s/vendor\r\nNameOfUpdateFile=Update.exe\r\nSizeOfUpdateFile=%s\r\nShutDownMethod=Using WM_CLOSE\r\nRunningProcess=<InstallDir>DemoApp.exe\r\nRestartProcess=1\r\nBackgroundUpdate=%s\r\n' \
    "$1" "$1" "$base" "$bytes" "$background" >"$out/www/Agent.info"
}
app_up() { $run "$b/winrobot.exe" wait --class VabrixDemoApp --timeout 100 >/dev/null 2>&1; }
app_gone() { ! pgrep -f 'bench agent.DemoApp\.exe' >/dev/null; }
$run "$wdir\\DemoApp.exe" >/dev/null 2>&1 &
wait_for 30 "DemoApp.exe shows no window" app_up
trace() { cat "$work/trace.txt"; }
traced() { grep -q "^[0-9]* $1" "$work/trace.txt"; } # the text after the time stamp
agent_pids() { trace | awk 'index($0, "==== STUB START ====> \"C:\\bench agent\\X_Agent.exe\"") { print $2 }'; }
$run "$wdir\\Agent.exe" >/dev/null 2>&1 || die "Agent.exe did not start"
newest_agent() { agent_pids | tail -1; }
agent_up() { [ -n "$(newest_agent)" ]; }
wait_for 30 "no transient agent" agent_up

# The fixed waits of one update, in ms, as this path takes them: the information file's
# fetch (500 before, 500 after), the package's fetch (500, 500), the setup flow (1000
# before the extraction, its 500 end pause, 1000 after it, 1000 after the engine's
# start, 1000 after its end) and the restart (1000).
waits_info=1000 waits_download=1000 waits_setup=4500 waits_restart=1000
waits=$((waits_info + waits_download + waits_setup + waits_restart))

echo "update package: $bytes bytes ($(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }') MB, payload A, level 9); setup $([ "$visible" = 1 ] && echo visible || echo hidden)"
: >"$work/rounds"
# floors: one run of each floor on the same file (sets f_loop, f_curl, f_x, f_close in ms)
floors() {
  sync
  f_loop=$($run "$b/bench/inet_floor.exe" "$base/files/Update.exe" "$(winpath "$work/floor.bin")" | value SECONDS)
  f_loop=$(awk -v s="$f_loop" 'BEGIN { printf "%d", s * 1000 }')
  rm -f "$work/floor.bin"
  f_curl=$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$base/files/Update.exe" | awk '{ printf "%d", $1 * 1000 }')
  rm -f "$work/curl.bin"
  f_drv=$($run "$b/tests/http_driver.exe" get "$base/files/Update.exe" "$(winpath "$work/driver.bin")" | value SECONDS)
  f_drv=$(awk -v s="$f_drv" 'BEGIN { printf "%d", s * 1000 }')
  rm -f "$work/driver.bin"
  rm -rf "$prefix/drive_c/floor"
  f_x=$($run "$b/bench/extract_floor.exe" "$(winpath "$pkg")" 'C:\floor' | value elapsed_ms)
  rm -rf "$prefix/drive_c/floor"
  wait_for 30 "DemoApp.exe is not running" app_up
  $run "$b/winrobot.exe" close --class VabrixDemoApp >/dev/null 2>&1 || die "cannot close DemoApp.exe"
  t_posted=$(now_ms)
  wait_for 30 "DemoApp.exe did not end" app_gone
  f_close=$(($(now_ms) - t_posted))
  $run "$wdir\\DemoApp.exe" >/dev/null 2>&1 &
  wait_for 30 "DemoApp.exe shows no window" app_up
  sync
}
floors # a first run of each, not counted: first-use costs of Wine and the disk cache
for r in $(seq 1 "$runs"); do
  # Every update sits between two runs of the floors; it is set against their mean,
  # which a change of the machine's load between them moves alike.
  floors
  a_loop=$f_loop a_curl=$f_curl a_drv=$f_drv a_x=$f_x a_close=$f_close

  x=$(newest_agent)
  offer $((r + 1))
  wait_for 30 "DemoApp.exe is not running" app_up
  wait_for 30 "the agent $x does not tick yet" traced "$x AutoUpdateTimerCount=1"
  t_req=$(now_ms)
  $run "$wdir\\Agent.exe" /TEST=1 >/dev/null 2>&1 || die "Agent.exe /TEST=1"
  wait_for 120 "the agent $x did not end its update" traced "$x ==== STUB END"
  # The new agent's copy comes 10 s later (/WAIT=10); the floors run meanwhile.
  floors
  loop_ms=$(((a_loop + f_loop) / 2)) curl_ms=$(((a_curl + f_curl) / 2)) drv_ms=$(((a_drv + f_drv) / 2))
  xfloor=$(((a_x + f_x) / 2)) close_floor=$(((a_close + f_close) / 2))
  lines=$(awk -v p="$x" '$2 == p' "$work/trace.txt")
  at() { printf '%s\n' "$lines" | grep -F -- "$1" | head -1 | cut -d' ' -f1; }
  t_fire=$(at " Fire ")
  t_dec=$(at " GetOkToPerformAU=")
  t4=$(at "PerformAutoUpdate-4 ") t6=$(at "PerformAutoUpdate-6 ") t7=$(at "PerformAutoUpdate-7 ")
  t8=$(at "PerformAutoUpdate-8 ") t9=$(at "PerformAutoUpdate-9 ") t10=$(at "PerformAutoUpdate-10 ")
  t11=$(at "PerformAutoUpdate-11 ") t13=$(at "PerformAutoUpdate-13 ") t_end=$(at "==== STUB END")
  for v in t_fire t_dec t4 t6 t7 t8 t9 t10 t11 t13 t_end; do
    eval "[ -n \"\$$v\" ]" || die "round $r: no trace line for $v"
  done
  tr -d '\r' <"$dir/X_Agent.log" | grep -q 'Result=TRUE' || die "round $r: the update failed"
  grep -c 'Result=TRUE' "$dir/X_Agent.log" | grep -qx "$r" || die "round $r: no successful update of its own"
  own_dl=$(printf '%s\n' "$lines" | sed -n "s/.* HTTP_DownloadTime: $bytes bytes in \([0-9]*\) ms$/\1/p" | tail -1)
  # The extraction's line carries no process id: the one inside the setup run.
  own_x=$(awk -v a="$t10" -v z="$t11" '$1 >= a && $1 <= z && $2 == "UnCompressTime:" { print $3 }' "$work/trace.txt" | tail -1)
  peak_own=$(printf '%s\n' "$lines" | sed -n 's/.*==== PeakMemory=\([0-9]*\) KB$/\1/p' | tail -1)
  total=$((t_end - t_fire)) wall=$((t_end - t_req))
  overhead=$((total - waits - loop_ms - xfloor - close_floor))
  floor_sum=$((loop_ms + xfloor + close_floor))
  echo "round $r (agent $x):"
  echo "  request -> probe start      $((t_fire - t_req)) ms (the next tick of the agent's 1 s timer, and a Wine program start)"
  echo "  info fetch and decision     $((t_dec - t_fire)) ms (waits $waits_info)"
  echo "  decision -> download start  $((t6 - t_dec)) ms"
  echo "  download and token test     $((t7 - t6)) ms (waits $waits_download; own transfer ${own_dl:-?} ms; before/after: WinINet loop $a_loop/$f_loop ms, the download code alone $a_drv/$f_drv ms, curl $a_curl/$f_curl ms)"
  echo "  shut-down of DemoApp.exe    $((t9 - t7)) ms (a bounded wait until it has gone; its own end $a_close/$f_close ms)"
  echo "  setup run                   $((t11 - t10)) ms (waits $waits_setup; extraction ${own_x:-?} ms, floor $a_x/$f_x ms)"
  echo "  version, app restart        $((t13 - t11)) ms"
  echo "  agent restart               $((t_end - t13)) ms (waits $waits_restart)"
  echo "  total                       $total ms from the probe, $wall ms from the request (wall clock)"
  echo "  fixed waits $waits ms; floors (means): download $loop_ms ms + extraction $xfloor ms + the application's end $close_floor ms"
  echo "  overhead = total - waits - floors = $overhead ms (total = $(awk -v a="$total" -v b="$((waits + floor_sum))" 'BEGIN { printf "%.3f", a / b }') x waits + floors)"
  # The restarted agent waits 10 s (/WAIT=10) before it starts its new copy.
  new_agent() { [ "$(newest_agent)" != "$x" ]; }
  wait_for 60 "no new transient agent after round $r" new_agent
  t_new=$(awk -v p="$(newest_agent)" '$2 == p && index($0, "STUB START") { print $1; exit }' "$work/trace.txt")
  echo "  the new agent's copy started $((t_new - t_end)) ms after the old one ended (its wait 10000 ms)"
  echo "$r $total $wall $overhead $((t7 - t6)) $loop_ms $curl_ms ${own_dl:-0} $((t11 - t10)) ${own_x:-0} $xfloor $((t9 - t7)) ${peak_own:-0} $close_floor $((t_new - t_end)) $((1000 * total / (waits + floor_sum))) $drv_ms" >>"$work/rounds"
done
kill "$poller" 2>/dev/null || true
wait "$poller" 2>/dev/null || true
poller=""
hwm=$(sort -k2 -n "$work/mem" 2>/dev/null | tail -1 | cut -d' ' -f2)

echo
awk -v runs="$runs" -v hwm="${hwm:-?}" -v waits="$waits" '
  function sort(a, k,   i, j, t) { for (i = 2; i <= k; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t } }
  function med(col,   i, v) { for (i = 1; i <= NR; i++) v[i] = c[i, col]; sort(v, NR); return NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }
  { for (i = 1; i <= NF; i++) c[NR, i] = $i }
  END {
    printf "Medians of %d update(s):\n", NR
    printf "  total %d ms from the probe (%d ms wall clock from the request)\n", med(2), med(3)
    printf "  fixed waits %d ms; download floor (WinINet loop) %d ms, curl %d ms; extraction floor %d ms; the application'"'"'s end %d ms\n", waits, med(6), med(7), med(11), med(14)
    printf "  overhead %d ms = total - waits - floors; total / (waits + floors) %.3f (median of the rounds)\n", med(4), med(16) / 1000
    printf "  shut-down step / the application'"'"'s end %.2f; the restarted agent'"'"'s copy %d ms after the old one ended (wait 10000)\n", med(12) / med(14), med(15)
    printf "  download step / loop %.2f (own transfer / loop %.2f, / the download code alone %.2f); extraction / floor %.2f; setup run / (its waits + extraction floor) %.2f\n",
      med(5) / med(6), med(8) / med(6), med(8) / med(17), med(10) / med(11), med(9) / (4500 + med(11))
    printf "  agent peak memory: VmHWM of the Wine process of X_Agent.exe %s KB; own peak private bytes %d KB\n", hwm, med(13)
  }' "$work/rounds"

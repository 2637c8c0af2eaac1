#!/bin/sh
# Whole setup runs against the extraction alone, under Wine.
#
#   sh bench/bench_setup.sh           (from the repository root, after both builds and
#                                      after bench/bench_extract.sh made its payloads)
#   RUNS=5 sh bench/bench_setup.sh    (best of 5 instead of 3)
#
# For payload A (~200 MB, 40 files) and B (5000 small files) of the extraction
# benchmark, packed with the engine double as Engine.exe (it exits at once):
#   extraction  build/windows/tests/unpack_driver.exe --no-waits: the extraction itself
#   setup       Stub.exe /hide through the exit launcher: the whole run, wall time
# The flow's own pauses are fixed (first timer tick 1000 ms, 1000 ms before and
# after the extraction, 500 ms at its end, 1000 ms after the engine start and after
# its end: 5500 ms); what the flow adds is setup - pauses - extraction, with the
# extraction time the stub itself reports for that run ("UnCompressTime:"), since
# the time to create thousands of files varies a lot from run to run. Two program
# starts (the stub's and the engine's) are part of that; the bare start of a small
# program is measured too and shown beside it. Also prints the stripped size of
# Stub.exe and its peak private memory (its own end line, caught by the viewer).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/bench-extract
runs=${RUNS:-3}
b=$root/build/windows
env=$out/wine-setup
[ -d "$out/flat-A" ] && [ -d "$out/flat-B" ] || { echo "run bench/bench_extract.sh first (it makes the payloads)"; exit 1; }
sh "$root/tests/support/wine-env.sh" start "$env" >/dev/null
trap 'sh "$root/tests/support/wine-env.sh" stop "$env" >/dev/null 2>&1 || true' EXIT
run="$root/tests/support/wine-run.sh $env"
pauses=5500
value() { tr -d '\r' | sed -n "s/^$1=//p" | head -1; }

echo "Stub.exe: $(stat -c %s "$b/Stub.exe") bytes (stripped)"
$run "$b/vdebug.exe" -q -o "$out/setup-trace.txt" --timeout 3600 >/dev/null 2>&1 &
viewer=$!
trap 'kill $viewer 2>/dev/null; sh "$root/tests/support/wine-env.sh" stop "$env" >/dev/null 2>&1 || true' EXIT
start_ms=""
for i in $(seq 1 "$runs"); do
  t=$($run "$b/tests/exit_launcher.exe" "$b/tests/engine_double.exe" | value elapsed_ms)
  if [ -z "$start_ms" ] || [ "$t" -lt "$start_ms" ]; then start_ms=$t; fi
done
echo "bare program start under Wine: ${start_ms} ms"
for k in A B; do
  pkgdir=$out/setup-$k
  mkdir -p "$pkgdir/files"
  if [ ! -f "$pkgdir/setup.exe" ]; then
    cp -r "$out/flat-$k/." "$pkgdir/files/"
    cp "$b/tests/engine_double.exe" "$pkgdir/files/Engine.exe"
    "$root/build/native/stubpack" build --stub "$b/Stub.exe" -o "$pkgdir/setup.exe" --main Engine.exe "$pkgdir/files" >/dev/null
  fi
  best_x=""
  best_s=""
  best_a=""
  peak=""
  for i in $(seq 1 "$runs"); do
    rm -rf "$env/prefix/drive_c/x"
    x=$($run "$b/tests/unpack_driver.exe" "$pkgdir/setup.exe" 'C:\x' --no-waits | value elapsed_ms)
    rm -rf "$env/prefix/drive_c/x"
    result=$($run "$b/tests/exit_launcher.exe" "$pkgdir/setup.exe" /hide)
    s=$(printf '%s' "$result" | value elapsed_ms)
    sleep 0.5
    p=$(tr -d '\r' <"$out/setup-trace.txt" | sed -n 's/.*==== PeakMemory=\([0-9]*\) KB/\1/p' | tail -1)
    own=$(tr -d '\r' <"$out/setup-trace.txt" | sed -n 's/^UnCompressTime: \([0-9]*\) MS/\1/p' | tail -1)
    a=$((s - pauses - own))
    if [ -z "$best_a" ] || [ "$a" -lt "$best_a" ]; then best_a=$a; fi
    [ "$(printf '%s' "$result" | value exit)" = 0 ] || { echo "setup $k failed: $result"; exit 1; }
    if [ -z "$best_x" ] || [ "$x" -lt "$best_x" ]; then best_x=$x; fi
    if [ -z "$best_s" ] || [ "$s" -lt "$best_s" ]; then best_s=$s; peak=$p; fi
  done
  added=$best_a
  echo "payload $k: extraction alone ${best_x} ms, setup run ${best_s} ms, pauses ${pauses} ms," \
    "flow adds ${added} ms (target < 150; two program starts are ~$((2 * start_ms)) ms of it)," \
    "stub peak private memory ${peak:-?} KB"
done

#!/bin/sh
# Process lookup benchmark: IsProcessRunning and FindMainWindow per call under Wine
# with 200 running processes and 800 of their top-level windows, beside the floor of
# one bare ToolHelp snapshot walk and one bare EnumWindows pass in the same run.
#
#   sh bench/bench_process.sh                      (from the repository root)
#   BUILD=build/proc-windows CALLS=500 sh bench/bench_process.sh
#
# Needs the windows preset's tests/app_double.exe and tests/process_driver.exe. The
# Wine environment lives in build/bench-process/wine (started here, always stopped at
# the end); every started process is ended by its PID.
#
# Processes: 180 windowless app doubles under their own names (C:\bench\fill\appNNN.exe),
# 9 windowless same-named copies (C:\bench\copyN\app.exe) whose image paths a lookup
# must read, 10 doubles with 80 windows each, and the target C:\bench\target\app.exe
# with a shown main window and three hidden ones (Wine adds an input-method window per
# program with windows). Few programs with windows keep the display's client count
# (256 for Xvfb) far away. The driver times CALLS calls of each function for the
# target, a path that does not run and a bare name, and the floors; it prints ms per
# call and the ratios to the floor.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${BUILD:-build/windows}
calls=${CALLS:-200}
out=$root/build/bench-process
envdir=$out/wine
app=$build/tests/app_double.exe
driver=$build/tests/process_driver.exe
for f in "$app" "$driver"; do
  [ -f "$f" ] || { echo "bench_process: $f is missing: build the windows preset first" >&2; exit 1; }
done
mkdir -p "$out"
run="$root/tests/support/wine-run.sh $envdir"
pids=""
cleanup() {
  for p in $pids; do kill "$p" 2>/dev/null || true; done
  for p in $pids; do wait "$p" 2>/dev/null || true; done
  "$root/tests/support/wine-env.sh" stop "$envdir" >/dev/null 2>&1 || true
  rm -rf "$out/ready"
}
trap cleanup EXIT INT TERM
"$root/tests/support/wine-env.sh" start "$envdir" >/dev/null
c="$envdir/prefix/drive_c/bench"
rm -rf "$c" "$out/ready"
mkdir -p "$c/fill" "$c/target" "$out/ready"
ready="Z:$(printf '%s' "$out/ready" | tr / '\\')"

bench() { # label path
  printf '== %s: %s (%s calls each)\n' "$1" "$2" "$calls"
  $run "$driver" bench "$calls" "$2" | tr -d '\r' | sed 's/^/  /'
}
# The same calls in the bare prefix first: what the 200 programs add.
bench "bare prefix, nothing of ours runs" 'C:\bench\target\app.exe'

launch() { # exe name windows
  $run "$1" --ready "$ready\\$2" --windows "$3" --life 900 >/dev/null 2>&1 &
  pids="$pids $!"
}
i=1
while [ $i -le 180 ]; do
  n=$(printf 'app%03d' $i)
  cp "$app" "$c/fill/$n.exe"
  launch "C:\\bench\\fill\\$n.exe" "$n" none
  i=$((i + 1))
done
for k in 1 2 3 4 5 6 7 8 9; do
  mkdir -p "$c/copy$k"
  cp "$app" "$c/copy$k/app.exe"
  launch "C:\\bench\\copy$k\\app.exe" "copy$k" none
done
mkdir -p "$c/windows"
for k in 1 2 3 4 5 6 7 8 9 10; do
  cp "$app" "$c/windows/win$k.exe"
  launch "C:\\bench\\windows\\win$k.exe" "win$k" many:79
done
cp "$app" "$c/target/app.exe"
launch 'C:\bench\target\app.exe' target many:3
echo "starting 200 processes ..."
i=0
until [ "$(ls "$out/ready" | wc -l)" -ge 200 ]; do
  [ $i -lt 1800 ] || { echo "bench_process: only $(ls "$out/ready" | wc -l) of 200 started" >&2; exit 1; }
  sleep 0.1
  i=$((i + 1))
done

bench "running target" 'C:\bench\target\app.exe'
bench "path that does not run (9 same-named copies to read)" 'C:\bench\none\app.exe'
bench "bare name" 'win5.exe'

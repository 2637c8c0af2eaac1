#!/bin/sh
# Extraction benchmark: our extraction against a floor program and NSIS, side by
# side in one run under one private Wine environment.
#
#   sh bench/bench_extract.sh            (from the repository root, after both builds)
#   RUNS=5 sh bench/bench_extract.sh     (best of 5 instead of 3)
#   SKIP_1G=1 sh bench/bench_extract.sh  (leave out the 1 GB memory case)
#
# Needs build/native/stubpack and build/windows/Stub.exe (cmake presets native and
# windows). Installs Debian's nsis through scripts/install-deps.sh when it is missing.
# Everything it makes lives in build/bench-extract/: the payloads (made once by
# bench/make_payload.py with its fixed seed, then cached), the packages, the NSIS
# scripts and setups, and the Wine environment (started here, always stopped at the
# end).
#
# Payloads: A ~200 MB in 40 files, half text-like, half random; B 5000 files of
# 1-64 KB in nested folders, mixed. Our packages hold plain names, so ours and the
# floor get the flat variant (path joined with "_"); NSIS gets the nested tree.
#
# Contenders, each run RUNS times into an emptied C:\target, best time kept:
#   floor  build/windows/bench/extract_floor.exe PACKAGE C:\target (built here
#          from bench/extract_floor.cpp when the build tree has none): the same
#          zlib streams inflated and written with plain Win32 calls, 1 MB buffers.
#   ours   build/windows/tests/unpack_driver.exe PACKAGE C:\target (skipped with a
#          message while it does not exist).
#   nsis   setup.exe /S /D=C:\target, SetCompressor zlib, per-file compression.
# floor and ours time themselves (elapsed_ms=, peak_private_bytes= on stdout); NSIS
# is timed from the shell as process wall time, so the floor's wall time is shown
# too and nsis/floor is a ratio of wall times. ours/floor compares the self-timed
# figures. Finally ours' peak memory for a 10 MB package and for a 1 GB file
# (highly compressible) shows whether it stays flat; the 1 GB case is skipped
# when the disk has less than 4 GB free.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/bench-extract
runs=${RUNS:-3}
stubpack=$root/build/native/stubpack
stub=$root/build/windows/Stub.exe
driver=$root/build/windows/tests/unpack_driver.exe
floor=$root/build/windows/bench/extract_floor.exe
envdir=$out/wine
mkdir -p "$out"
newer() { [ -n "$(find "$1" -newer "$2" 2>/dev/null)" ]; }  # file $1 changed after $2

for f in "$stubpack" "$stub"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "bench_extract: $f is missing: build the native and windows presets first" >&2; exit 1; }
done
sh "$root/scripts/install-deps.sh" nsis

if [ ! -f "$floor" ]; then
  floor=$out/extract_floor.exe
  if [ ! -f "$floor" ] || newer "$root/bench/extract_floor.cpp" "$floor"; then
    echo "building $floor"
    i686-w64-mingw32-g++ -std=c++20 -O2 -I"$root/src" "$root/bench/extract_floor.cpp" -lz -lpsapi -static -o "$floor"
  fi
fi

# ---- Payloads and packages (cached) ------------------------------------------
for k in A B; do
  if [ ! -f "$out/payload-$k.done" ]; then
    echo "making payload $k"
    rm -rf "$out/payload-$k" "$out/flat-$k" "$out/pkg-$k.exe" "$out/nsis-$k.exe"
    python3 "$root/bench/make_payload.py" "$k" "$out/payload-$k"
    python3 "$root/bench/make_payload.py" "$k" "$out/flat-$k" --flat
    touch "$out/payload-$k.done"
  fi
  if [ ! -f "$out/pkg-$k.exe" ] || newer "$stub" "$out/pkg-$k.exe"; then
    echo "packing $k with stubpack"
    "$stubpack" build --stub "$stub" -o "$out/pkg-$k.exe" "$out/flat-$k" >/dev/null
  fi
  if [ ! -f "$out/nsis-$k.exe" ]; then
    echo "building the NSIS setup of $k"
    cat >"$out/nsis-$k.nsi" <<EOF
Name "Bench $k"
OutFile "$out/nsis-$k.exe"
SetCompressor zlib
InstallDir "C:\\target"
RequestExecutionLevel user
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$out/payload-$k/*"
SectionEnd
EOF
    makensis -V1 "$out/nsis-$k.nsi"
  fi
done

# The memory cases: 10 MB of random bytes (a 10 MB package) and a 1 GB file that
# compresses well (its source is removed once packed).
if [ ! -f "$out/pkg-10M.exe" ]; then
  rm -rf "$out/src-10M"
  python3 "$root/bench/make_payload.py" R "$out/src-10M" --mb 10
  "$stubpack" build --stub "$stub" -o "$out/pkg-10M.exe" "$out/src-10M" >/dev/null
  rm -rf "$out/src-10M"
fi
free_kb=$(df -Pk "$out" | awk 'NR == 2 { print $4 }')
do_1g=1
if [ "${SKIP_1G:-0}" = 1 ]; then
  do_1g=0
elif [ "$free_kb" -lt 4194304 ]; then
  echo "only $((free_kb / 1024)) MB free: the 1 GB case is skipped"
  do_1g=0
elif [ ! -f "$out/pkg-1G.exe" ]; then
  rm -rf "$out/src-1G"
  python3 "$root/bench/make_payload.py" Z "$out/src-1G" --mb 1024
  "$stubpack" build --stub "$stub" -o "$out/pkg-1G.exe" "$out/src-1G" >/dev/null
  rm -rf "$out/src-1G"
fi

# ---- Runs ------------------------------------------------------------------------
sh "$root/tests/support/wine-env.sh" start "$envdir"
trap 'sh "$root/tests/support/wine-env.sh" stop "$envdir"' EXIT INT TERM
target=$envdir/prefix/drive_c/target
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
mb() { if [ -n "$1" ]; then awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; else printf 'n/a'; fi; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

# run_best NAME REFERENCE_DIR COMMAND...: sets best_ms, best_wall, peak (bytes, empty
# when the program does not say). The last run's output must equal REFERENCE_DIR
# (a file count is enough when it is a number).
run_best() {
  name=$1 reference=$2
  shift 2
  best_ms="" best_wall="" peak=""
  case $reference in
    *[!0-9]*) expected=$(find "$reference" -type f | wc -l) ;;
    *) expected=$reference ;;
  esac
  i=1
  while [ $i -le "$runs" ]; do
    rm -rf "$target"
    t0=$(now_ms)
    if ! result=$("$root/tests/support/wine-run.sh" "$envdir" "$@" 2>"$out/last-stderr.txt"); then
      echo "  $name run $i failed:" >&2
      cat "$out/last-stderr.txt" >&2
      return 1
    fi
    t1=$(now_ms)
    wall=$((t1 - t0))
    ms=$(printf '%s\n' "$result" | sed -n 's/^elapsed_ms=//p' | tr -d '\r')
    pk=$(printf '%s\n' "$result" | sed -n 's/^peak_private_bytes=//p' | tr -d '\r')
    [ -n "$ms" ] || ms=$wall
    files=$(find "$target" -type f 2>/dev/null | wc -l)
    if [ "$files" -ne "$expected" ]; then
      echo "  $name run $i wrote $files files, expected $expected" >&2
      return 1
    fi
    echo "  $name run $i: ${ms} ms (wall ${wall} ms), peak private $(mb "$pk") MB"
    if [ $i -eq "$runs" ] && [ "$reference" != "$expected" ] && ! diff -r "$reference" "$target" >/dev/null; then
      echo "  $name: the extracted files differ from $reference" >&2
      return 1
    fi
    if [ -z "$best_ms" ] || [ "$ms" -lt "$best_ms" ]; then best_ms=$ms; fi
    if [ -z "$best_wall" ] || [ "$wall" -lt "$best_wall" ]; then best_wall=$wall; fi
    if [ -n "$pk" ] && { [ -z "$peak" ] || [ "$pk" -gt "$peak" ]; }; then peak=$pk; fi
    i=$((i + 1))
  done
  rm -rf "$target"
}

summary=""
for k in A B; do
  n=$(find "$out/payload-$k" -type f | wc -l)
  pkg=$(winpath "$out/pkg-$k.exe")
  echo "payload $k: $n files, $(mb "$(du -sb "$out/payload-$k" | cut -f1)") MB; package $(mb "$(stat -c %s "$out/pkg-$k.exe")") MB"
  run_best "floor $k" "$out/flat-$k" "$floor" "$pkg" 'C:\target'
  floor_ms=$best_ms floor_wall=$best_wall floor_peak=$peak
  ours_ms="" ours_peak=""
  if [ -f "$driver" ]; then
    run_best "ours $k" "$out/flat-$k" "$driver" "$pkg" 'C:\target' --no-waits
    ours_ms=$best_ms ours_peak=$peak
  else
    echo "  ours $k: skipped ($driver does not exist yet)"
  fi
  run_best "nsis $k" "$out/payload-$k" "$out/nsis-$k.exe" /S '/D=C:\target'
  nsis_wall=$best_wall
  line="$k: floor ${floor_ms} ms (wall ${floor_wall} ms, peak $(mb "$floor_peak") MB)"
  if [ -n "$ours_ms" ]; then
    line="$line; ours ${ours_ms} ms (peak $(mb "$ours_peak") MB), ours/floor $(ratio "$ours_ms" "$floor_ms")"
  else
    line="$line; ours n/a"
  fi
  line="$line; nsis wall ${nsis_wall} ms, nsis/floor (wall) $(ratio "$nsis_wall" "$floor_wall")"
  summary="$summary$line
"
done

# ---- Memory from 10 MB to 1 GB -------------------------------------------------
cases="10M"
[ "$do_1g" = 1 ] && cases="10M 1G"
for c in $cases; do
  pkg=$(winpath "$out/pkg-$c.exe")
  echo "memory case $c: package $(mb "$(stat -c %s "$out/pkg-$c.exe")") MB"
  runs_saved=$runs
  runs=1
  run_best "floor $c" 1 "$floor" "$pkg" 'C:\target'
  line="$c: floor peak $(mb "$peak") MB ($best_ms ms)"
  if [ -f "$driver" ]; then
    run_best "ours $c" 1 "$driver" "$pkg" 'C:\target' --no-waits
    line="$line; ours peak $(mb "$peak") MB ($best_ms ms)"
  else
    line="$line; ours n/a"
  fi
  runs=$runs_saved
  summary="$summary$line
"
done

echo
echo "Best of $runs (ours and floor self-timed; nsis and wall figures from the shell):"
printf '%s' "$summary"

#!/bin/sh
# Download speed of a real setup run under Wine: an internet stub (Stub.exe built by
# stubpack with --internet) fetches its ~100 MB setup file from the local test server
# (tests/support/http_server.py on 127.0.0.1), visible and with /hide, beside the
# plainest WinINet loop (bench/inet_floor.cpp, 8 KB reads, nothing else) and curl, in
# the same run and on the same file.
#
#   sh bench/bench_http.sh                  (from anywhere, after both builds)
#   RUNS=5 BENCH_MB=200 sh bench/bench_http.sh
#   WIN_BUILD=build/h1-windows NATIVE_BUILD=build/h1-native sh bench/bench_http.sh
#
# The setup file holds the engine double as Engine.exe (it ends at once) and BENCH_MB
# (default 100) MB of random bytes, stored. Each round downloads it with curl, the
# WinINet loop, the download code in its test driver (tests/support/http_driver.cpp,
# shown as "driver"), and the stub visible and hidden. Each round prints its own
# figures (the load of a shared machine moves them a lot); the table holds the best
# of RUNS (default 3) rounds:
#   own time   the stub's own trace line "HTTP_DownloadTime: N bytes in M ms" (caught
#              by the debug viewer vdebug.exe) and the loop's SECONDS, both from the
#              opening of the URL to the last read; the driver's SECONDS spans its
#              whole download call. The ratios loop/stub use these.
#   server     the test server's timed log (/log/times) for every client alike: from
#              the request line to the last body byte taken by the client's system.
#   wall       the stub's whole run (exit launcher): the flow's own pauses, the
#              extraction of the payload and the engine start are part of it.
# The stub's exit code must be 0 and every client must deliver the whole file; the
# timings never fail the script (it exits 1 only when something did not work). Uses
# its own Wine environment (build/bench-http/wine-http).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
b=$root/${WIN_BUILD:-build/windows}
n=$root/${NATIVE_BUILD:-build/native}
out=$root/build/bench-http
runs=${RUNS:-3}
mb=${BENCH_MB:-100}
env=$out/wine-http
for f in "$b/Stub.exe" "$b/vdebug.exe" "$b/bench/inet_floor.exe" "$b/tests/http_driver.exe" \
  "$b/tests/engine_double.exe" "$b/tests/exit_launcher.exe" "$n/stubpack"; do
  [ -f "$f" ] || { echo "bench_http: $f is missing (build both trees first)" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "bench_http: curl is needed" >&2; exit 1; }
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
mkdir -p "$out"
work=$(mktemp -d "$out/run.XXXXXX")
server_pid=""
viewer_pid=""
cleanup() {
  [ -n "$viewer_pid" ] && { kill "$viewer_pid" 2>/dev/null || true; wait "$viewer_pid" 2>/dev/null || true; }
  [ -n "$server_pid" ] && { kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; }
  sh "$root/tests/support/wine-env.sh" stop "$env" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
sh "$root/tests/support/wine-env.sh" start "$env" >/dev/null
run="$root/tests/support/wine-run.sh $env"
win() { printf 'Z:%s' "$1" | tr '/' '\\'; }
value() { tr -d '\r' | sed -n "s/^$1=//p" | head -1; }
die() { echo "bench_http: $*" >&2; exit 1; }

# ---- the setup file, the server, the internet stub, the viewer ------------------------
mkdir -p "$work/files" "$work/www"
cp "$b/tests/engine_double.exe" "$work/files/Engine.exe"
head -c $((mb * 1048576)) /dev/urandom >"$work/files/payload.bin"
"$n/stubpack" build --stub "$b/Stub.exe" -o "$work/www/big.exe" --store --download-token bench-http \
  --main Engine.exe "$work/files" >/dev/null 2>&1
rm -rf "$work/files"
bytes=$(stat -c %s "$work/www/big.exe")
python3 "$root/tests/support/http_server.py" --root "$work/www" --port-file "$work/port" >"$work/server.out" 2>&1 &
server_pid=$!
i=0
while [ ! -s "$work/port" ]; do
  [ $i -lt 100 ] || die "the server did not start: $(cat "$work/server.out")"
  sleep 0.1
  i=$((i + 1))
done
base="http://127.0.0.1:$(cat "$work/port")"
url="$base/files/big.exe"
"$n/stubpack" build --stub "$b/Stub.exe" -o "$work/net.exe" --internet --download-location "$base/files" \
  --download-of "$work/www/big.exe" >/dev/null 2>&1
$run "$b/vdebug.exe" -q -o "$work/trace.txt" --ready-file "$work/viewer.ready" --timeout 3600 >/dev/null 2>&1 &
viewer_pid=$!
i=0
until [ -f "$work/viewer.ready" ]; do [ $i -lt 300 ] || die "no debug viewer"; sleep 0.1; i=$((i + 1)); done

# ---- helpers -----------------------------------------------------------------------
# Seconds of the last timed GET of the file in the server's log, which is then emptied.
server_seconds() {
  curl -s "$base/log/times" | awk '$1 == "GET" && $2 == "/files/big.exe" { s = $4 - $3; n = $5 } END {
    if (n == "") exit 1; printf "%.3f %d\n", s, n }' >"$work/timed" || die "no timed request in the server log"
  curl -s "$base/log/clear" >/dev/null
  [ "$(cut -d' ' -f2 <"$work/timed")" = "$bytes" ] || die "the server sent $(cut -d' ' -f2 <"$work/timed") bytes"
  cut -d' ' -f1 <"$work/timed"
}
check() { # file what
  [ "$(stat -c %s "$1")" = "$bytes" ] || die "$2 delivered a wrong size"
  rm -f "$1"
}
# The stub, visible or hidden: its own transfer time, the server's time and the wall time.
stub_round() { # switches...
  lines=$(wc -l <"$work/trace.txt")
  result=$($run "$b/tests/exit_launcher.exe" --cwd "$(win "$work")" "$(win "$work/net.exe")" "$@" | tr -d '\r')
  [ "$(printf '%s\n' "$result" | value exit)" = 0 ] || die "the stub's run failed: $result"
  wall=$(printf '%s\n' "$result" | value elapsed_ms)
  i=0
  own=""
  while [ -z "$own" ] && [ $i -lt 50 ]; do
    own=$(tail -n +"$((lines + 1))" "$work/trace.txt" | tr -d '\r' |
      sed -n "s/.* HTTP_DownloadTime: $bytes bytes in \([0-9]*\) ms$/\1/p" | tail -1)
    [ -n "$own" ] || sleep 0.1
    i=$((i + 1))
  done
  [ -n "$own" ] || die "no HTTP_DownloadTime line of the whole file in the stub's trace"
  echo "$(awk -v m="$own" 'BEGIN { printf "%.3f", m / 1000 }') $(server_seconds) $(awk -v m="$wall" 'BEGIN { printf "%.3f", m / 1000 }')"
}
best() { printf '%s\n' "$@" | sort -g | head -1; }
last() { printf '%s\n' "$@" | tail -1; }
col() { printf '%s\n' "$1" | cut -d' ' -f"$2"; }

c=""; cs=""; f=""; fs=""; d=""; ds=""; v=""; vs=""; vw=""; h=""; hs=""; hw=""
curl -s "$base/log/clear" >/dev/null
for r in $(seq "$runs"); do
  c="$c $(curl -s -o "$work/curl.bin" -w '%{time_total}' "$url")"
  check "$work/curl.bin" curl
  cs="$cs $(server_seconds)"
  f="$f $($run "$b/bench/inet_floor.exe" "$url" "$(win "$work/floor.bin")" | value SECONDS)"
  check "$work/floor.bin" "the WinINet loop"
  fs="$fs $(server_seconds)"
  res=$($run "$b/tests/http_driver.exe" get "$url" "$(win "$work/driver.bin")" | tr -d '\r')
  printf '%s\n' "$res" | grep -qx 'OK=1' || die "the driver's download failed: $res"
  d="$d $(printf '%s\n' "$res" | value SECONDS)"
  check "$work/driver.bin" "the driver"
  ds="$ds $(server_seconds)"
  t=$(stub_round)
  v="$v $(col "$t" 1)"; vs="$vs $(col "$t" 2)"; vw="$vw $(col "$t" 3)"
  t=$(stub_round /hide)
  h="$h $(col "$t" 1)"; hs="$hs $(col "$t" 2)"; hw="$hw $(col "$t" 3)"
  # The machine's load moves every figure: each round's own, to show the spread.
  echo "$r $(last $c) $(last $f) $(last $d) $(last $v) $(last $h)" | awk '{
    printf "round %d: curl %.3f s, loop %.3f s, driver %.3f s, stub visible %.3f s, /hide %.3f s (stub/loop %.2f, %.2f)\n",
      $1, $2, $3, $4, $5, $6, $3 / $5, $3 / $6 }'
done
awk -v b="$bytes" -v n="$runs" \
  -v c="$(best $c)" -v cs="$(best $cs)" -v f="$(best $f)" -v fs="$(best $fs)" -v d="$(best $d)" -v ds="$(best $ds)" \
  -v v="$(best $v)" -v vs="$(best $vs)" -v vw="$(best $vw)" -v h="$(best $h)" -v hs="$(best $hs)" -v hw="$(best $hw)" 'BEGIN {
  m = b / 1048576
  printf "download of %d bytes (%.1f MB) from 127.0.0.1 under Wine, best of %d rounds\n", b, m, n
  printf "                              own time   server     wall      MB/s (own)\n"
  printf "  curl (native)               %7.3f s  %7.3f s             %8.1f\n", c, cs, m / c
  printf "  WinINet loop (floor)        %7.3f s  %7.3f s             %8.1f\n", f, fs, m / f
  printf "  driver (test program)       %7.3f s  %7.3f s             %8.1f\n", d, ds, m / d
  printf "  Stub.exe, visible           %7.3f s  %7.3f s  %7.3f s  %8.1f\n", v, vs, vw, m / v
  printf "  Stub.exe, /hide             %7.3f s  %7.3f s  %7.3f s  %8.1f\n", h, hs, hw, m / h
  printf "  stub / loop, visible   %.2f (server %.2f)   (target >= 0.90)\n", f / v, fs / vs
  printf "  stub / loop, /hide     %.2f (server %.2f)   (target >= 0.90)\n", f / h, fs / hs
  printf "  driver / loop          %.2f (server %.2f)\n", f / d, fs / ds
  printf "  stub / curl, visible   %.2f\n", c / v
}'

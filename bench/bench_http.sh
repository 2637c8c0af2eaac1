#!/bin/sh
# Download speed of a real setup run under Wine: an internet stub (Stub.exe built by
# stubpack with --internet) fetches its ~100 MB setup file from the local test server
# (tests/support/http_server.py on 127.0.0.1), visible and with /hide, beside the
# plainest WinINet loop (bench/inet_floor.cpp, 8 KB reads, nothing else) and curl, in
# the same run and on the same file.
#
#   sh bench/bench_http.sh                  (from anywhere, after both builds)
#   RUNS=9 BENCH_MB=200 sh bench/bench_http.sh
#   WIN_BUILD=build/h1-windows NATIVE_BUILD=build/h1-native sh bench/bench_http.sh
#   EXTRA_STUBS="old=/tmp/Stub-old.exe" sh bench/bench_http.sh    (builds side by side)
#   BENCH_OUT=build/h1-bench BENCH_TRACE=/tmp/trace.txt ...         (own folder, keep
#                                                                     the stubs' trace)
#
# The setup file holds the engine double as Engine.exe (it ends at once) and BENCH_MB
# (default 100) MB of random bytes, stored. Each of RUNS (default 5) rounds downloads
# it with curl, the download code in its test driver (tests/support/http_driver.cpp,
# "driver") and the WinINet loop, then runs each stub (the build's, and those of
# EXTRA_STUBS) visible and hidden, with a loop run after each: every stub run sits
# between two loop runs. Before each timed run the disk is synced, so that no run
# pays for writing back the files of the one before. Each round prints its own times
# (the load of a shared machine moves them a lot); the table holds, per client, the
# best and the median of the rounds:
#   own time   the stub's own trace line "HTTP_DownloadTime: N bytes in M ms" (caught
#              by the debug viewer vdebug.exe) and the loop's SECONDS, both from the
#              opening of the URL to the last read; the driver's SECONDS spans its
#              whole download call. The ratios loop/stub use these.
#   server     the test server's timed log (/log/times) for every client alike: from
#              the request line to the last body byte taken by the client's system
#              (best of the rounds).
#   loop/stub  best: the best loop time over the stub's best; median and range: of
#              the paired ratios, each stub run against the mean of the loop runs
#              before and after it, which a change of load between rounds moves far
#              less. The median of paired ratios is the figure to quote.
# The stub's exit code must be 0 and every client must deliver the whole file; the
# timings never fail the script (it exits 1 only when something did not work). Uses
# its own Wine environment (BENCH_OUT, default build/bench-http, in wine-http).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
b=$(cd "$root" && cd "${WIN_BUILD:-build/windows}" && pwd)
n=$(cd "$root" && cd "${NATIVE_BUILD:-build/native}" && pwd)
out=${BENCH_OUT:-$root/build/bench-http}
runs=${RUNS:-5}
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
  [ -n "${BENCH_TRACE:-}" ] && [ -f "$work/trace.txt" ] && cp "$work/trace.txt" "$BENCH_TRACE"
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
# The product's stub and, for comparing builds in one run, EXTRA_STUBS="label=path ...".
stubs="stub=$b/Stub.exe ${EXTRA_STUBS:-}"
for s in $stubs; do
  [ -f "${s#*=}" ] || die "${s#*=} is missing"
  "$n/stubpack" build --stub "${s#*=}" -o "$work/net-${s%%=*}.exe" --internet --download-location "$base/files" \
    --download-of "$work/www/big.exe" >/dev/null 2>&1
done
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
  sync  # the previous run's files are on disk before the next one writes its own
  lines=$(wc -l <"$work/trace.txt")
  result=$($run "$b/tests/exit_launcher.exe" --cwd "$(win "$work")" "$(win "$stub_exe")" "$@" | tr -d '\r')
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
# Every stub run sits between two loop runs: its ratio is taken against their mean, so
# a change of the machine's load between rounds moves both sides alike.
record() { echo "$r $1 $2" >>"$work/times"; } # round, config, "own server [wall]"
loop_run() {
  sync
  secs=$($run "$b/bench/inet_floor.exe" "$url" "$(win "$work/floor.bin")" | value SECONDS)
  check "$work/floor.bin" "the WinINet loop"
  record loop "$secs $(server_seconds)"
}
: >"$work/times"
curl -s "$base/log/clear" >/dev/null
for r in $(seq "$runs"); do
  secs=$(curl -s -o "$work/curl.bin" -w '%{time_total}' "$url")
  check "$work/curl.bin" curl
  record curl "$secs $(server_seconds)"
  res=$($run "$b/tests/http_driver.exe" get "$url" "$(win "$work/driver.bin")" | tr -d '\r')
  printf '%s\n' "$res" | grep -qx 'OK=1' || die "the driver's download failed: $res"
  check "$work/driver.bin" "the driver"
  record driver "$(printf '%s\n' "$res" | value SECONDS) $(server_seconds)"
  loop_run
  for s in $stubs; do
    label=${s%%=*}
    stub_exe=$work/net-$label.exe
    record "$label,visible" "$(stub_round)"
    loop_run
    record "$label,/hide" "$(stub_round /hide)"
    loop_run
  done
  # The machine's load moves every figure: each round's own, to show the spread.
  awk -v r="$r" '$1 == r { t[++n] = $2 " " $3 } END { printf "round %d:", r
    for (i = 1; i <= n; i++) { split(t[i], a, " "); printf " %s %.3f", a[1], a[2] } printf "\n" }' "$work/times"
done

# Best and median of every configuration; for the stubs the ratio loop/stub of the
# best times and the median (and range) of the paired ratios.
awk -v b="$bytes" -v n="$runs" '
  function sort(a, k,   i, j, t) { for (i = 2; i <= k; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]; a[j + 1] = t } }
  function median(a, k) { sort(a, k); return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2 }
  { line[NR] = $0; cfg[NR] = $2; own[NR] = $3; srv[NR] = $4
    if (!($2 in seen)) { seen[$2] = 1; order[++configs] = $2 } }
  END {
    m = b / 1048576
    printf "download of %d bytes (%.1f MB) from 127.0.0.1 under Wine, %d rounds\n", b, m, n
    printf "  %-26s %9s %9s %9s %9s\n", "own time (s)", "best", "median", "server", "MB/s"
    for (c = 1; c <= configs; c++) {
      name = order[c]; k = 0; ks = 0
      for (i = 1; i <= NR; i++) if (cfg[i] == name) { v[++k] = own[i]; w[++ks] = srv[i] }
      sort(v, k); best[name] = v[1]; sort(w, ks)
      printf "  %-26s %9.3f %9.3f %9.3f %9.1f\n", name, v[1], median(v, k), w[1], m / v[1]
    }
    printf "  %-26s %9s %9s %9s   (target >= 0.90)\n", "loop / stub", "best", "median", "range"
    for (c = 1; c <= configs; c++) {
      name = order[c]; if (name !~ /,/) continue; k = 0
      for (i = 1; i <= NR; i++) if (cfg[i] == name && cfg[i - 1] == "loop" && cfg[i + 1] == "loop")
        q[++k] = (own[i - 1] + own[i + 1]) / 2 / own[i]
      med = median(q, k)
      printf "  %-26s %9.2f %9.2f %4.2f-%4.2f\n", name, best["loop"] / best[name], med, q[1], q[k]
    }
  }' "$work/times"

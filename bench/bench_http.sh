#!/bin/sh
# Download speed under Wine: a 200 MB static file from the local test server, fetched
# by curl (native), by the plainest WinINet loop (the floor) and by the stub's
# download with its progress object and rate meter. Best of RUNS runs each; prints
# MB/s and the ratios (target: stub >= 0.9 x floor).
#   WINE_ENV=... HTTP_DRIVER=http_driver.exe INET_FLOOR=inet_floor.exe bench_http.sh
set -eu
: "${WINE_ENV:?}" "${HTTP_DRIVER:?}" "${INET_FLOOR:?}"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
runs=${RUNS:-3}
mb=${BENCH_MB:-200}
here=$(cd "$(dirname "$0")/.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
command -v curl >/dev/null || { echo "bench_http: curl is needed" >&2; exit 1; }
work=$(mktemp -d)
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
win() { printf 'Z:%s' "$1" | tr '/' '\\'; }

mkdir -p "$work/root"
head -c $((mb * 1048576)) /dev/urandom >"$work/root/big.bin"
bytes=$(stat -c %s "$work/root/big.bin")
python3 "$here/tests/support/http_server.py" --root "$work/root" --port-file "$work/port" >"$work/server.out" 2>&1 &
server_pid=$!
i=0
while [ ! -s "$work/port" ]; do
  [ $i -lt 100 ] || { echo "bench_http: the server did not start" >&2; exit 1; }
  sleep 0.1
  i=$((i + 1))
done
url="http://127.0.0.1:$(cat "$work/port")/files/big.bin"

seconds_of() { tr -d '\r' | sed -n 's/^SECONDS=//p'; }
best() { printf '%s\n' "$@" | sort -g | head -1; }
check() { # file what
  [ "$(stat -c %s "$1")" = "$bytes" ] || { echo "bench_http: $2 delivered a wrong size" >&2; exit 1; }
  rm -f "$1"
}

c=""; f=""; s=""
for r in $(seq "$runs"); do
  c="$c $(curl -s -o "$work/curl.bin" -w '%{time_total}' "$url")"
  check "$work/curl.bin" curl
  f="$f $($run "$INET_FLOOR" "$url" "$(win "$work/floor.bin")" | seconds_of)"
  check "$work/floor.bin" "the WinINet loop"
  out=$($run "$HTTP_DRIVER" get "$url" "$(win "$work/stub.bin")" | tr -d '\r')
  printf '%s\n' "$out" | grep -qx 'OK=1' || { echo "bench_http: the stub's download failed: $out" >&2; exit 1; }
  s="$s $(printf '%s\n' "$out" | seconds_of)"
  check "$work/stub.bin" "the stub's download"
done
c=$(best $c); f=$(best $f); s=$(best $s)
awk -v b="$bytes" -v c="$c" -v f="$f" -v s="$s" -v n="$runs" 'BEGIN {
  m = b / 1048576
  printf "download of %.0f MB from 127.0.0.1, best of %d runs\n", m, n
  printf "  curl (native)           %7.3f s  %8.1f MB/s\n", c, m / c
  printf "  WinINet loop (floor)    %7.3f s  %8.1f MB/s\n", f, m / f
  printf "  stub download           %7.3f s  %8.1f MB/s\n", s, m / s
  printf "  stub / floor  %.2f   (target >= 0.90)\n", f / s
  printf "  stub / curl   %.2f\n", c / s
  exit (f / s >= 0.9 ? 0 : 1)
}'

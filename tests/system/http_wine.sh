#!/bin/sh
# Downloads over the real WinINet under Wine against the local test server: files and
# memory, progress and rate texts (the program's throttled progress object: every
# chunk steps the bar, the callback sees the first and the last step with their
# texts), every injected fault with its error text and an
# untouched local file, abort by a window message and by the cancel flag,
# credentials, the purge of earlier partial files, size queries and the probe.
set -eu
: "${WINE_ENV:?}" "${HTTP_DRIVER:?}"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
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
fail() {
  echo "FAIL: $*" >&2
  [ -s "$work/last.out" ] && { echo "--- driver output" >&2; cat "$work/last.out" >&2; }
  exit 1
}
win() { printf 'Z:%s' "$1" | tr '/' '\\'; }

# ---- test data and server -------------------------------------------------------
mkdir -p "$work/root" "$work/dl"
python3 -c "
import random, sys
r = random.Random(7)
for name, size in (('small.bin', 100000), ('big.bin', 3000000), ('info.ini', 300), ('two.bin', 2 * 1048576)):
    open(sys.argv[1] + '/' + name, 'wb').write(bytes(r.getrandbits(8) for _ in range(size)))
" "$work/root"
python3 "$here/tests/support/http_server.py" --root "$work/root" --port-file "$work/port" >"$work/server.out" 2>&1 &
server_pid=$!
i=0
while [ ! -s "$work/port" ]; do
  [ $i -lt 100 ] || fail "the test server did not start: $(cat "$work/server.out")"
  kill -0 "$server_pid" 2>/dev/null || fail "the test server ended: $(cat "$work/server.out")"
  sleep 0.1
  i=$((i + 1))
done
base="http://127.0.0.1:$(cat "$work/port")"
log() { python3 -c "import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1]).read().decode())" "$base/log${1:-}"; }

# ---- helpers ------------------------------------------------------------------------
driver() { # args... -> $work/last.out without CRs
  $run "$HTTP_DRIVER" "$@" >"$work/last.raw" 2>&1 || fail "driver failed: $*"
  tr -d '\r' <"$work/last.raw" >"$work/last.out"
}
value() { sed -n "s/^$1=//p" "$work/last.out" | head -1; }
expect() { # key expected what
  [ "$(value "$1")" = "$2" ] || fail "$3: $1 is '$(value "$1")', expected '$2'"
}
local_file=$work/dl/setup.bin
fresh_local() { rm -f "$work"/dl/*; printf 'OLD' >"$local_file"; }
untouched() { # what
  [ "$(cat "$local_file")" = "OLD" ] || fail "$1: the local file was changed"
  left=$(cd "$work/dl" && ls | grep -v '^setup\.bin$' || true)
  [ -z "$left" ] || fail "$1: files left behind: $left"
}
get_fault() { # path expected-error what
  fresh_local
  driver get "$base/$1" "$(win "$local_file")"
  expect OK 0 "$3"
  expect ERROR "$2" "$3"
  untouched "$3"
}

# ---- a plain download to a file -----------------------------------------------------
fresh_local
log /clear >/dev/null
driver get "$base/files/big.bin" "$(win "$local_file")"
expect OK 1 "plain download"
expect ERROR "" "plain download"
cmp -s "$local_file" "$work/root/big.bin" || fail "plain download: wrong content"
expect CAPTION big.bin "caption"
expect STARTS 1 "start events"
expect START_POS 1 "start position"
expect START_MAX 368 "progress maximum (3000000 bytes in 8192-byte chunks, + 1)"
expect STEPS 367 "one step per chunk, held steps included"
shown=$(value SHOWN)
[ "$shown" -ge 2 ] && [ "$shown" -le 367 ] || fail "shown steps: $shown (the first and the last at least, at most one per chunk)"
expect FINISHES 1 "end event"
expect FIRST_TEXT "8.0/2,929.7 KB" "first step text (kilobyte mode, no rate yet)"
expect RATE_BEFORE_FIFTH 0 "no rate before the fifth read"
case "$(value LAST_TEXT)" in "2,929.7/2,929.7 KB   -   "*" KB/Sec") ;; *) fail "last step text: $(value LAST_TEXT)" ;; esac
# The probe asks for the headers only; the file itself is fetched once.
[ "$(log | grep -c '^HEAD /files/big.bin$')" = 1 ] || fail "one probe expected: $(log)"
[ "$(log | grep -c '^GET /files/big.bin$')" = 1 ] || fail "one GET expected: $(log)"
[ -z "$(cd "$work/dl" && ls | grep -v '^setup\.bin$' || true)" ] || fail "temporary file left after success"

# Slow bytes: the rate shows from the fifth read on and changes at most twice a second.
fresh_local
driver get "$base/trickle/8192/40/files/small.bin" "$(win "$local_file")"
expect OK 1 "trickled download"
cmp -s "$local_file" "$work/root/small.bin" || fail "trickled download: wrong content"
expect STEPS 13 "trickle steps"
[ "$(value SHOWN)" -le 13 ] || fail "trickle: more shown steps than chunks: $(value SHOWN)"
expect RATE_BEFORE_FIFTH 0 "trickle: no rate before the fifth read"
case "$(value LAST_TEXT)" in "100000/100000 BytesArr   -   "*" KB/Sec") ;; *) fail "trickle rate text: $(value LAST_TEXT)" ;; esac

# ---- memory downloads ---------------------------------------------------------------
driver get "$base/files/info.ini" - --memory-out "$(win "$work/mem.bin")"
expect OK 1 "memory download"
expect MEMORY_SIZE 300 "memory size"
cmp -s "$work/mem.bin" "$work/root/info.ini" || fail "memory download: wrong content"
expect FIRST_TEXT "30/300 BytesArr" "memory download: byte mode with 30-byte chunks"
driver get "$base/files/two.bin" -
expect OK 0 "memory cap (announced)"
expect ERROR "two.bin --- File too large (more than 1048576 bytes)" "memory cap (announced)"
expect MEMORY_SIZE 0 "memory cap keeps no data"
driver get "$base/fault/nolength/files/two.bin" -
expect ERROR "two.bin --- File too large (more than 1048576 bytes)" "memory cap (no length)"
expect MEMORY_SIZE 0 "memory cap keeps no data (no length)"

# ---- without Content-Length: accepted when the transfer ends cleanly ---------------
fresh_local
driver get "$base/fault/nolength/files/small.bin" "$(win "$local_file")"
expect OK 1 "close-delimited"
cmp -s "$local_file" "$work/root/small.bin" || fail "close-delimited: wrong content"
case "$(value FIRST_TEXT)" in "0.0/? MB") ;; *) fail "close-delimited: megabyte mode with unknown total: $(value FIRST_TEXT)" ;; esac
fresh_local
driver get "$base/chunked/files/small.bin" "$(win "$local_file")"
expect OK 1 "chunked"
cmp -s "$local_file" "$work/root/small.bin" || fail "chunked: wrong content"
fresh_local
driver get "$base/redirect/302/nolastmod/files/small.bin" "$(win "$local_file")"
expect OK 1 "redirect, no Last-Modified"
cmp -s "$local_file" "$work/root/small.bin" || fail "redirect: wrong content"
fresh_local
driver get "${base#http://}/files/small.bin" "$(win "$local_file")"
expect OK 1 "URL without a scheme"

# ---- faults: an error text, the local file untouched, no partial file ------------
get_fault "lenplus/10/files/small.bin" "small.bin --- Incomplete download (100000 of 100010 bytes)" "Content-Length too high"
get_fault "drop/5000/files/big.bin" "big.bin --- Incomplete download (5000 of 3000000 bytes)" "connection dropped"
# A missing file, whatever page the server sends with it: the message-box text with
# the URL. Another status keeps its code unless its page is an HTML error page.
missing() { printf '<B>404 File Not Found...</B><P><P>URL:  %s.<P><P>Please make sure the file is available and access is allowed to this file.' "$1"; }
for page in status/404/apache status/404/nginx status/404/iis status/404/plain status/404/empty \
  status/410/apache status/410/plain status/500/apache status/500/nginx status/502/long; do
  get_fault "$page" "$(missing "$base/$page")" "$page"
done
get_fault "status/500/tomcat" "$base/status/500/tomcat --- HTTP status 500" "500 tomcat (no page the rules know)"
get_fault "status/500/plain" "$base/status/500/plain --- HTTP status 500" "500 plain"
get_fault "status/503/empty" "$base/status/503/empty --- HTTP status 503" "503 without a body"
get_fault "zerolength/files/small.bin" "$base/zerolength/files/small.bin --- File Not Found !" "Content-Length 0"
# The server's 401 comes with an HTML page.
get_fault "auth/u/secret/files/small.bin" "$(missing "$base/auth/u/secret/files/small.bin")" "no credentials"
fresh_local
driver get "http://127.0.0.1:1/files/small.bin" "$(win "$local_file")"
expect ERROR "Unable to open Internet Connection: http://127.0.0.1:1/files/small.bin" "refused connection"
untouched "refused connection"

# Too low a Content-Length: exactly the announced bytes arrive, never more.
fresh_local
driver get "$base/lenminus/10/files/small.bin" "$(win "$local_file")"
expect LOCAL_SIZE 99990 "Content-Length too low"
head -c 99990 "$work/root/small.bin" | cmp -s - "$local_file" || fail "Content-Length too low: wrong content"

# A 200 answer with an HTML body downloads, and the error-page test catches it.
fresh_local
driver get "$base/html/nginx" "$(win "$local_file")" --html
expect OK 1 "HTML body"
expect HTML 1 "HTML body is recognised"
fresh_local
driver get "$base/files/small.bin" "$(win "$local_file")" --html
expect HTML 0 "a binary file is no error page"

# ---- stopping a transfer ------------------------------------------------------------
# A chunk every 150 ms, longer than the progress object holds steps back: the step
# that asks for the stop is shown while chunks are still to come.
fresh_local
driver get "$base/trickle/8192/150/files/small.bin" "$(win "$local_file")" --close-at 3
expect ERROR "Download Aborted" "close message during the download"
expect ABORTED 1 "abort flag"
untouched "close message during the download"
[ "$(value STEPS)" -lt 13 ] || fail "the close message did not stop the download"
fresh_local
driver get "$base/trickle/8192/150/files/small.bin" "$(win "$local_file")" --cancel-at 4
expect ERROR "Download Aborted" "cancel flag"
cancel_step=$(value CANCEL_STEP)
[ "$cancel_step" -ge 4 ] && [ "$cancel_step" -lt 13 ] || fail "cancel flag set at chunk '$cancel_step'"
expect STEPS "$cancel_step" "the download stops after the chunk whose step set the cancel flag"
untouched "cancel flag"

# ---- credentials: scheme, host and port from the URL --------------------------------
fresh_local
driver get "$base/auth/u/secret/files/small.bin?v=2" "$(win "$local_file")" --user u --pass secret
expect OK 1 "credentials"
cmp -s "$local_file" "$work/root/small.bin" || fail "credentials: wrong content"
fresh_local
driver get "$base/auth/u/secret/files/small.bin" "$(win "$local_file")" --user u --pass wrong
expect ERROR "$(missing "$base/auth/u/secret/files/small.bin")" "wrong credentials"
untouched "wrong credentials"

# ---- partial files of an earlier attempt ------------------------------------------
fresh_local
printf 'partial' >"$local_file.123"
printf 'partial' >"$local_file.100000"
printf 'keep' >"$local_file.bak"
printf 'keep' >"$local_file.1a"
driver get "$base/files/small.bin" "$(win "$local_file")"
expect OK 1 "download over partial files"
[ ! -e "$local_file.123" ] && [ ! -e "$local_file.100000" ] || fail "a partial file survived"
[ "$(cat "$local_file.bak")" = keep ] && [ "$(cat "$local_file.1a")" = keep ] || fail "the purge removed other files"

# ---- size queries -----------------------------------------------------------------
log /clear >/dev/null
driver size "$base/files/big.bin"
expect SIZE 3000000 "size query"
[ "$(log | grep -c '^HEAD /files/big.bin$')" = 2 ] || fail "size query: probe and query should be two HEADs: $(log)"
[ "$(log | grep -c '^GET ')" = 0 ] || fail "size query: no GET expected (it would fetch the file): $(log)"
driver size "$base/fault/nolength/files/big.bin"
expect SIZE -1 "size without Content-Length"
driver size "$base/status/404/apache"
expect SIZE -1 "size of a missing file"
driver connected
expect CONNECTED 1 "connected state"

echo "http_wine: all checks passed"

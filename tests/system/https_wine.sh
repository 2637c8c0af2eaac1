#!/bin/sh
# Downloads over https with the real Stub.exe under Wine: the test HTTP server behind
# TLS fronts (tls_proxy.py), one per server certificate, all made here by openssl from
# a test CA. The CA is trusted only in the test run's own prefix (cert_store.exe, the
# current user's ROOT store) and removed again at the end. An internet stub whose
# server certificate comes from that CA downloads its setup file and runs the engine;
# the same stub before the CA is trusted, and certificates of an untrusted CA, for
# another host name and out of date, are refused: an error box, exit code 1603, no
# request reaches the server, nothing runs. An agent fetches its information file over
# https for a forced probe, and a front with an untrusted certificate on the same
# address gives that probe's download error.
#
# The addresses name the host "localhost": Wine matches the host of an https address
# against the certificate's DNS names only, never against its IP addresses, so an
# address with 127.0.0.1 is refused there even with IP:127.0.0.1 in the certificate.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${ENGINE_DOUBLE_EXE:?}"
: "${EXIT_LAUNCHER_EXE:?}" "${VDEBUG_EXE:?}" "${AGENT_CONTROLLER_EXE:?}" "${CERT_STORE_EXE:?}"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
. "$(dirname "$0")/../support/agent-lib.sh"
fronts=""
ca_trusted=""
# A failure shows what the programs printed, what the fronts saw and the newest trace.
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  for f in "$work"/*.out "$work"/front-*.log; do
    [ -s "$f" ] && { echo "--- $f" >&2; tr -d '\r' <"$f" | tail -20 >&2; }
  done
  [ -f "$work/trace.txt" ] && { echo "--- trace (last lines)" >&2; tr -d '\r' <"$work/trace.txt" | grep -v '^$' | tail -30 >&2; }
  exit 1
}
cleanup() {
  stop_agents
  reap_all
  for pid in $fronts; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  stop_server
  [ -z "$ca_trusted" ] || $run "$CERT_STORE_EXE" remove-root "$(winpath "$work/pki/ca.der")" >/dev/null 2>&1 || true
  rm -rf "$work" "$dir"
}
trap cleanup EXIT
rm -rf "$dir"
mkdir -p "$dir" "$work/pki" "$work/files"

# ---- the test CA and the server certificates -------------------------------------
cd "$work/pki"
cat >ca.cnf <<'EOF'
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
[ca_ext]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
authorityKeyIdentifier = keyid
subjectAltName = IP:127.0.0.1, DNS:localhost
[other_host]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
authorityKeyIdentifier = keyid
subjectAltName = DNS:other.example, IP:10.9.8.7
EOF
: >index.txt
echo 01 >serial
ossl() { openssl "$@" >>openssl.log 2>&1 || fail "openssl $*: $(tail -5 openssl.log)"; }
make_ca() { # name subject
  ossl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 -subj "/CN=$2" \
    -config ca.cnf -extensions ca_ext
}
issue() { # name ca extensions validity...
  name=$1 ca=$2 ext=$3
  shift 3
  ossl ca -batch -config ca.cnf -cert "$ca.pem" -keyfile "$ca.key" -in server.csr -out "$name.pem" -notext \
    -extensions "$ext" "$@"
}
make_ca ca "Test Root CA"
make_ca rogue "Untrusted Root CA"
ossl req -newkey rsa:2048 -nodes -keyout server.key -out server.csr -subj "/CN=localhost"
issue good ca server -days 30
issue otherhost ca other_host -days 30
issue expired ca server -startdate 20200101000000Z -enddate 20200201000000Z
issue untrusted rogue server -days 30
ossl x509 -in ca.pem -outform DER -out ca.der
cd "$work"

# ---- the server and its TLS fronts ------------------------------------------------
start_server
backend=$port
start_front() { # name certificate [port]: the front's port in $front_port
  rm -f "$work/front-$1.port"
  python3 "$here/tests/support/tls_proxy.py" --cert "$work/pki/$2.pem" --key "$work/pki/server.key" \
    --backend "$backend" --port-file "$work/front-$1.port" ${3:+--port "$3"} >>"$work/front-$1.log" 2>&1 &
  fronts="$fronts $!"
  i=0
  until [ -s "$work/front-$1.port" ]; do [ $i -lt 100 ] || fail "the front $1 did not start"; sleep 0.1; i=$((i + 1)); done
  front_port=$(cat "$work/front-$1.port")
}
stop_newest_front() {
  pid=${fronts##* }
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  fronts=${fronts% *}
}
for c in good otherhost expired untrusted; do
  start_front "$c" "$c"
  eval "port_$c=$front_port"
done

# ---- internet stubs ------------------------------------------------------------------
ENGINE_DOUBLE_REPORT="$(winpath "$work")\\report.txt"
export ENGINE_DOUBLE_REPORT
pack() { # output args...
  out=$1
  shift
  $run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$out" "$@" >"$work/pack.log" 2>&1 || fail "stubpack $*: $(cat "$work/pack.log")"
}
cp "$ENGINE_DOUBLE_EXE" files/Engine.exe
printf 'payload\r\n' >files/data.txt
pack srv/websetup.exe --download-token web-1 --main Engine.exe files
for c in good otherhost expired untrusted; do
  eval "p=\$port_$c"
  pack "net_$c.exe" --internet --download-location "https://localhost:$p/files" --download-of srv/websetup.exe
done
report() { tr -d '\r' <"$work/report.txt" 2>/dev/null | sed -n "s/^$1=//p" | tail -1; }
engine_ran() { [ -f "$work/report.txt" ] && [ "$(report done)" = 1 ]; }
run_stub() { # name: runs net_NAME.exe through the exit launcher, in the background
  rm -f "$work/report.txt"
  web log/clear >/dev/null
  start "$1" "$EXIT_LAUNCHER_EXE" "./net_$1.exe"
}
done_stub() { # name expected-exit
  finish "$1"
  [ "$(value_of "$1" exit)" = "$2" ] || fail "$1: exit code $(value_of "$1" exit), expected $2"
  [ -z "$(temp_dirs)" ] || fail "$1: temp folders left: $(temp_dirs)"
  ! ls "$prefix"/drive_c/users/*/Temp/websetup.exe* >/dev/null 2>&1 || fail "$1: the downloaded file stayed"
}
# A refused certificate: the error box names the address, nothing reached the server
# and nothing ran.
refused() { # name what
  eval "p=\$port_$1"
  text=$(box_text Error)
  printf '%s' "$text" | grep -Fq "https://localhost:$p/files/websetup.exe" || fail "$2: error box: $text"
  answer Error press --index 0
  done_stub "$1" 1603
  ! engine_ran || fail "$2: the engine ran"
  [ -z "$(web log | grep -v '^GET /log')" ] || fail "$2: requests reached the server: $(web log)"
  # The trace names WinINet's reason (a certificate code from 12000 up).
  trace | grep -Eq "^[0-9]+ --- https://localhost:$p/files/websetup.exe: .* \(120[0-9][0-9]\)$" ||
    fail "$2: no reason in the trace"
  printf '%s: refused, the box says: %s\n' "$2" "$text"
}

start_viewer
# The CA is what makes the difference: the same stub and server before it is trusted.
run_stub good
refused good "before the CA is trusted"

$run "$CERT_STORE_EXE" add-root "$(winpath "$work/pki/ca.der")" >"$work/cert.out" 2>&1 || fail "add-root: $(cat "$work/cert.out")"
ca_trusted=1
run_stub good
done_stub good 0
engine_ran || fail "trusted: the engine did not run"
web log | grep -q '^GET /files/websetup.exe$' || fail "trusted: no download: $(web log)"
tr -d '\r' <"$work/report.txt" | grep -q '^file=data.txt|9|' || fail "trusted: data.txt beside the engine"

for c in untrusted otherhost expired; do
  run_stub "$c"
  refused "$c" "$c certificate"
done

# ---- the agent's information file over https ------------------------------------
start_front agent good
agent_port=$front_port
printf '[NewSetup]\r\nVersionNew=5\r\nStamp=1\r\nDownloadURL_UPDATE=https://localhost:%s/vendor\r\nNameOfUpdateFile=Update.exe\r\nSizeOfUpdateFile=1000\r\n' \
  "$agent_port" >srv/Agent.info
printf '[OriginalSetup]\r\nVersionOriginal=5\r\nStamp=0\r\nProbeSecondsInterval=-1\r\nProgramName=Demo App\r\n' >"$dir/Agent.original"
printf '[NewSetup]\r\nVersionNew=1\r\n' >"$dir/Agent.info"
pack_agent --info-location "https://localhost:$agent_port/vendor"
new_transient plain
probe() { # code what: a forced probe and its decision
  n=$(count_lines "$x" "^$x GetOkToPerformAU=")
  controller ask "$class" 31:1 >/dev/null || fail "request 31 ($2)"
  wait_more "$x" "^$x GetOkToPerformAU=" "$n" "no probe ($2)"
  got=$(lines_of "$x" | grep "^$x GetOkToPerformAU=" | tail -1 | sed 's/.*=//')
  [ "$got" = "$1" ] || fail "$2: decision $got, expected $1"
}
web log/clear >/dev/null
probe 3 "information file over https (the offer is not newer)"
lines_of "$x" | grep -Eq " DownloadFileAU: https://localhost:$agent_port/vendor[\\/]Agent\.info$" || fail "the agent did not fetch over https"
web log | grep -q '^GET /vendor/Agent.info$' || fail "no fetch of the information file: $(web log)"
cmp -s srv/Agent.info "$dir/Agent.info" || fail "the fetched information file was not kept"
# The same address, now with a certificate of an untrusted CA: a download error, and
# the copy of the last good fetch stays.
stop_newest_front
start_front agent untrusted "$agent_port"
web log/clear >/dev/null
probe 0 "information file from an untrusted server"
cmp -s srv/Agent.info "$dir/Agent.info" || fail "a refused fetch replaced the information file"
[ -z "$(web log | grep -v '^GET /log')" ] || fail "untrusted agent fetch: requests reached the server: $(web log)"
stop_agents

# ---- the CA leaves the prefix -----------------------------------------------------
$run "$CERT_STORE_EXE" remove-root "$(winpath "$work/pki/ca.der")" >"$work/cert.out" 2>&1 || fail "remove-root: $(cat "$work/cert.out")"
grep -q '^removed=1' "$work/cert.out" || fail "remove-root: $(cat "$work/cert.out")"
ca_trusted=""
$run "$CERT_STORE_EXE" remove-root "$(winpath "$work/pki/ca.der")" >"$work/cert.out" 2>&1 || fail "remove-root again: $(cat "$work/cert.out")"
grep -q '^removed=0' "$work/cert.out" || fail "the CA is still trusted: $(cat "$work/cert.out")"
echo "https_wine: all checks passed"

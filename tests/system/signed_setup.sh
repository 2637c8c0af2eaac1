#!/bin/sh
# A vendor signs the setup file after building it: the signature lands behind the
# stamped logical end. The signature must verify and the package must read back the
# same, and the signed setup still runs.
set -eu
: "${STUB_EXE:?}" "${WINE_ENV:?}" "${STUBPACK_EXE:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$here"/examples/demo/files/* .
export SOURCE_DATE_EPOCH=1796823930
$run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o setup.exe --token signed readme.txt license.txt DemoApp.ini \
  >/dev/null 2>&1 || fail "build"

# A throwaway code-signing certificate.
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Stub Test Vendor" -addext "extendedKeyUsage=codeSigning" >/dev/null 2>&1 || fail "openssl"
osslsigncode sign -certs cert.pem -key key.pem -n "Demo Setup" -in setup.exe -out signed.exe >sign.log 2>&1 ||
  fail "osslsigncode sign: $(cat sign.log)"
osslsigncode verify -CAfile cert.pem signed.exe >verify.log 2>&1 || fail "signature does not verify: $(cat verify.log)"
[ "$(wc -c <signed.exe)" -gt "$(wc -c <setup.exe)" ] || fail "nothing was appended"

$run "$STUBPACK_EXE" list --json setup.exe | tr -d '\r' | sed 's/"physicalSize":[0-9]*,//; s/"path":"[^"]*",//' >plain.json
$run "$STUBPACK_EXE" list --json signed.exe | tr -d '\r' >signed.json || fail "signed file does not read: $(cat signed.json)"
sed 's/"physicalSize":[0-9]*,//; s/"path":"[^"]*",//' signed.json >signed-norm.json
cmp -s plain.json signed-norm.json || fail "signed listing differs: $(diff plain.json signed-norm.json)"
grep -q '"problems":\[\]' signed.json || fail "problems: $(cat signed.json)"
$run signed.exe || fail "the signed setup does not run (exit $?)"
echo ok

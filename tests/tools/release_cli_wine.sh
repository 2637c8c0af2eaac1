#!/bin/sh
# Signed releases across the two builders: stubpack.exe under Wine makes keys and
# signatures through CNG, the native stubpack (OpenSSL) and OpenSSL's command line
# take them, and stubpack.exe takes theirs. Exit 77 (skipped) without a native stubpack.
set -eu
: "${WINE_ENV:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/tests/tools/signing-lib.sh"
native=${NATIVE_STUBPACK:-}
if [ ! -x "$native" ]; then
  echo "release_cli_wine: no native stubpack at '$native' (cmake -DNATIVE_STUBPACK=...): skipped"
  exit 77
fi
win() { "$here/tests/support/wine-run.sh" "$WINE_ENV" "$STUBPACK_EXE" "$@"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
umask 022
cp "$STUB_EXE" Stub.exe
printf 'version 2\r\n' >app.txt
export SOURCE_DATE_EPOCH=1700000000

# keygen through CNG: OpenSSL's own bytes for both files, no access for others.
win keygen -o winkey >out.txt 2>&1 || fail "stubpack.exe keygen: $(cat out.txt)"
openssl pkey -in winkey.key | cmp -s - winkey.key || fail "winkey.key is not in OpenSSL's PKCS#8 form: $(cat winkey.key)"
openssl pkey -in winkey.key -pubout | cmp -s - winkey.pub || fail "winkey.pub is not the key's public half"
openssl pkey -in winkey.key -check -noout >/dev/null 2>&1 || fail "openssl finds winkey.key inconsistent"
case $(stat -c %a winkey.key) in *0) ;; *) fail "winkey.key is open to others: mode $(stat -c %a winkey.key)" ;; esac
before=$(cat winkey.key)
refused 1 'exists already' win keygen -o winkey
[ "$(cat winkey.key)" = "$before" ] || fail "keygen overwrote winkey.key"

# One product, one agent per vendor key; releases of the same update package.
"$native" keygen -o natkey >/dev/null
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out sslkey.key 2>/dev/null
openssl ec -in sslkey.key -out sec1.key 2>/dev/null                 # "EC PRIVATE KEY"
openssl ec -in sslkey.key -no_public -out nopub.key 2>/dev/null
openssl pkey -in sslkey.key -pubout -out sslkey.pub
"$native" build --stub Stub.exe -o Update2.exe --token t1 --info-file app.info app.txt >/dev/null 2>&1 ||
  fail "build the update"
for k in winkey natkey sslkey; do
  "$native" build --stub Stub.exe --agent -o "Agent-$k.exe" --token t1 --info-file app.info --update-key "$k.pub" \
    >/dev/null 2>&1 || fail "build the agent for $k"
done
release() { # BUILDER KEY AGENT INFO
  builder=$1 key=$2 agent=$3 info=$4
  $builder release --key "$key" --setup Update2.exe --version 2 --download-location http://updates.example/ \
    --agent "$agent" -o "$info" >out.txt 2>&1 || fail "$builder release --key $key: $(cat out.txt)"
}

# stubpack.exe signs with its own key: the native verifier and OpenSSL accept it.
release win winkey.key Agent-winkey.exe win.info
grep -q "^SHA256OfUpdateFile=$(sha256sum Update2.exe | cut -d' ' -f1)" win.info || fail "win.info: $(cat win.info)"
"$native" verify win.info --key winkey.pub >out.txt || fail "native verify win.info: $(cat out.txt)"
"$native" verify win.info --agent Agent-winkey.exe >/dev/null || fail "native verify --agent win.info"
openssl_verifies win.info winkey.pub || fail "OpenSSL does not verify stubpack.exe's signature"

# stubpack.exe signs with keys the native stubpack and OpenSSL made (PKCS#8 and SEC1).
for k in natkey.key:natkey sslkey.key:sslkey sec1.key:sslkey; do
  key=${k%%:*} pub=${k#*:}
  release win "$key" "Agent-$pub.exe" "win-$key.info"
  "$native" verify "win-$key.info" --key "$pub.pub" >out.txt || fail "native verify of a release by $key: $(cat out.txt)"
done
refused 1 'without its public key' win release --key nopub.key --setup Update2.exe --version 2 \
  --download-location http://updates.example/ -o nopub.info
[ ! -e nopub.info ] || fail "a refused release left an output behind"
"$native" release --key nopub.key --setup Update2.exe --version 2 --download-location http://h/ -o nat-nopub.info \
  >/dev/null 2>&1 || fail "the native builder does not sign with a key without its public half"

# stubpack.exe verifies the native builder's release, and refuses it changed by a byte.
release "$native" natkey.key Agent-natkey.exe nat.info
win verify nat.info --key natkey.pub >out.txt || fail "stubpack.exe verify nat.info: $(cat out.txt)"
grep -q 'update file Update2.exe: size and SHA-256 match' out.txt || fail "update file not checked: $(cat out.txt)"
win verify nat.info --agent Agent-natkey.exe >/dev/null || fail "stubpack.exe verify --agent nat.info"
sed 's/^VersionNew=2/VersionNew=3/' nat.info >edited.info
cmp -s nat.info edited.info && fail "the edit changed nothing"
refused 1 'signature does not match' win verify edited.info --key natkey.pub
refused 1 'signature does not match' win verify nat.info --key winkey.pub
echo "release_cli_wine: all checks passed"

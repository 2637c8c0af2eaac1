# Shell helpers of the signed-release tests (release_cli.sh, release_cli_wine.sh):
# refused commands, the signed part of an information file, and the r||s <-> DER
# conversion of signatures with nothing but openssl and coreutils.

fail() { echo "FAIL: $*" >&2; exit 1; }
# Runs a command that must fail with exit code $1 and say $2 (on stdout or stderr).
refused() {
  code=$1 what=$2
  shift 2
  set +e
  "$@" >out.txt 2>&1
  rc=$?
  set -e
  [ "$rc" = "$code" ] || fail "$* exits $rc, not $code: $(cat out.txt)"
  grep -q "$what" out.txt || fail "$* does not say '$what': $(cat out.txt)"
}
# The signed part of an information file: every byte before the line "[Signature]".
signed_part() { head -c "$(grep -abo '^\[Signature\]' "$1" | cut -d: -f1)" "$1"; }
raw_to_der() { # BASE64 DER_FILE
  hex=$(printf '%s' "$1" | openssl base64 -d -A | od -An -v -tx1 | tr -d ' \n')
  printf 'asn1=SEQUENCE:sig\n[sig]\nr=INTEGER:0x%s\ns=INTEGER:0x%s\n' \
    "$(echo "$hex" | cut -c1-64)" "$(echo "$hex" | cut -c65-128)" >sig.cnf
  openssl asn1parse -genconf sig.cnf -out "$2" -noout
}
der_to_raw() { # DER_FILE -> base64 of r||s
  openssl asn1parse -inform DER -in "$1" |
    awk -F: '/INTEGER/ { h = $NF; while (length(h) < 64) h = "0" h; printf "%s", h }' |
    basenc --base16 -d | openssl base64 -A
}
# Whether OpenSSL's command line accepts the signature of an information file.
openssl_verifies() { # INFO PUB
  signed_part "$1" >"$1.part"
  raw_to_der "$(sed -n 's/^Value=//p' "$1" | tr -d '\r')" "$1.der"
  openssl dgst -sha256 -verify "$2" -signature "$1.der" "$1.part" | grep -q '^Verified OK$'
}

#!/bin/sh
# stubpack's command line: help, reproducible output, clear one-line errors with a
# non-zero exit and never a partial output file, and list's exit codes.
set -eu
stubpack=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
{
  printf 'MZ'; head -c 58 /dev/zero; printf '\000\001\000\000'; head -c 192 /dev/zero
  printf 'PE\000\000'; head -c 3836 /dev/zero
} >stub.exe
mkdir payload
cp "$here"/examples/demo/files/* payload/
head -c 100000 /dev/urandom >payload/data.bin

"$stubpack" --help | grep -q 'usage: stubpack build' || fail "help"

# Same inputs and a fixed date: the same bytes, wherever the inputs lie.
SOURCE_DATE_EPOCH=1700000000 "$stubpack" build --stub stub.exe -o a.exe --token t payload >/dev/null 2>&1 || fail "build a"
cp -r payload moved
SOURCE_DATE_EPOCH=1700000000 "$stubpack" build --stub stub.exe -o b.exe --token t moved >/dev/null 2>&1 || fail "build b"
cmp -s a.exe b.exe || fail "builds of the same inputs differ"
touch -d '2001-01-01' moved/readme.txt
SOURCE_DATE_EPOCH=1700000000 "$stubpack" build --stub stub.exe -o c.exe --token t moved >/dev/null 2>&1 || fail "build c"
cmp -s a.exe c.exe || fail "SOURCE_DATE_EPOCH did not replace the file dates"
"$stubpack" build --stub stub.exe -o d.exe --token t --date 2001-01-01T00:00:00 moved >/dev/null 2>&1 || fail "build d"
"$stubpack" list d.exe | grep -q '2001-01-01 00:00:00  readme.txt' || fail "--date not used"

"$stubpack" list a.exe >list.txt || fail "list of a good file exits non-zero"
grep -q 'Magic .*0x4A3B2C1D (good)' list.txt || fail "list: magic"
grep -q 'data.bin' list.txt || fail "list: records"
"$stubpack" list --json a.exe | grep -q '"readable":true' || fail "list --json"

# Language files: UTF-8 is written in each block's code page and listed in UTF-8;
# --raw shows the stored bytes; an 8-bit file of old is taken as it is.
printf '\357\273\277[German]\nConfirm=Best\303\244tigen\n[Russian]\nCharset=204\ns0=\320\226\n' >utf8.ini
"$stubpack" build --stub stub.exe -o lang.exe --languages utf8.ini payload/readme.txt >/dev/null 2>&1 || fail "build utf8.ini"
"$stubpack" list lang.exe >lang.txt || fail "list lang.exe"
grep -q "^    Confirm=Best$(printf '\303\244')tigen\$" lang.txt || fail "German text not in UTF-8: $(cat lang.txt)"
grep -q "^    s0=$(printf '\320\226')\$" lang.txt || fail "Cyrillic text not in UTF-8"
"$stubpack" list --raw lang.exe | grep -q "^    Confirm=Best$(printf '\344')tigen" || fail "--raw: not the 1252 bytes"
"$stubpack" list --raw lang.exe | grep -q "^    s0=$(printf '\306')" || fail "--raw: not the 1251 bytes"
"$stubpack" list --json lang.exe >lang.json || fail "list --json lang.exe"
python3 -c 'import json, sys
d = json.load(open(sys.argv[1], encoding="utf-8"))
assert d["languageBlocks"][1]["items"] == ["Charset=204", "s0=\u0416"], d["languageBlocks"]' lang.json || fail "JSON"
printf '[German]\nConfirm=Best\344tigen\n' >old.ini
"$stubpack" build --stub stub.exe -o old.exe --languages old.ini payload/readme.txt >/dev/null 2>&1 || fail "build old.ini"
"$stubpack" list --raw old.exe | grep -q "^    Confirm=Best$(printf '\344')tigen" || fail "an 8-bit file was not taken byte for byte"
# A block for each code page: listed exactly as the file has it (the Windows
# stubpack.exe is held to the same file under Wine, tests/system/language_texts.sh).
"$stubpack" build --stub stub.exe -o pages.exe --languages "$here/tests/support/code_pages.ini" payload/readme.txt \
  >/dev/null 2>&1 || fail "build code_pages.ini"
"$stubpack" list pages.exe | sed -n 's/^    //p' >listed.txt
grep -v '^;\|^\[' "$here/tests/support/code_pages.ini" >expected.txt
cmp -s expected.txt listed.txt || fail "code pages: $(diff expected.txt listed.txt)"
# File names take the code page of the only block here.
printf '[Russian]\nCharset=204\n' >ru.ini
"$stubpack" build --stub stub.exe -o ru.exe --languages ru.ini "payload/readme.txt=$(printf '\306').txt" >/dev/null 2>&1 || fail "build ru"
"$stubpack" list ru.exe | grep -q "  $(printf '\320\226').txt\$" || fail "file name not in the Cyrillic code page"

# The CRC-32 of every piece: shown and checked by list; left out or wrong on request.
crc_line() { "$stubpack" list "$1" | grep -E '^  CRC-32 ' || true; }
crc_line a.exe | grep -Eq '^  CRC-32 +0x[0-9A-F]{8} \(matches\)$' || fail "list: CRC-32 of a good file: $(crc_line a.exe)"
"$stubpack" build --stub stub.exe -o stored.exe --store payload >/dev/null 2>&1 || fail "build --store"
python3 -c 'import sys; p = sys.argv[1]; b = bytearray(open(p, "rb").read()); b[len(b) // 2] ^= 1; open(p, "wb").write(b)' stored.exe
set +e
"$stubpack" list stored.exe >flipped.txt 2>&1
rc=$?
set -e
[ "$rc" = 1 ] || fail "list of a flipped stored byte exits $rc"
grep -Eq '^  CRC-32 +0x[0-9A-F]{8} \(computed 0x[0-9A-F]{8}, MISMATCH\)$' flipped.txt || fail "no mismatch shown: $(cat flipped.txt)"
grep -q '^PROBLEM: piece stored.exe fails its CRC-32' flipped.txt || fail "no problem line: $(cat flipped.txt)"
"$stubpack" list --json stored.exe | grep -q '"matches":false' || fail "list --json: no mismatch"
"$stubpack" build --stub stub.exe -o old.exe --no-crc payload >/dev/null 2>&1 || fail "build --no-crc"
"$stubpack" list old.exe >old.txt || fail "list of a package without CRC exits non-zero"
grep -Eq '^  CRC-32 +none$' old.txt || fail "--no-crc: $(grep CRC old.txt)"
"$stubpack" build --stub stub.exe -o wrong.exe --crc 7 payload >/dev/null 2>&1 || fail "build --crc"
"$stubpack" list wrong.exe >/dev/null 2>&1 && fail "list of a wrong CRC exits 0"

# Errors: one line on stderr, exit 1 (2 for usage), nothing left behind.
expect_error() { # code pattern args...
  code=$1 pattern=$2
  shift 2
  set +e
  "$stubpack" "$@" >out.txt 2>err.txt
  rc=$?
  set -e
  [ "$rc" = "$code" ] || fail "exit $rc instead of $code for: $*"
  [ "$(wc -l <err.txt)" -eq 1 ] || fail "not one line for: $* ($(cat err.txt))"
  grep -q "$pattern" err.txt || fail "'$pattern' not in: $(cat err.txt)"
  ls | grep -q '^out\.exe' && fail "output left behind for: $*"
  return 0
}
expect_error 1 'cannot read the stub' build --stub missing.exe -o out.exe payload
expect_error 1 'not an executable' build --stub payload/readme.txt -o out.exe payload
expect_error 1 'already carries a package' build --stub a.exe -o out.exe payload
expect_error 1 'cannot read' build --stub stub.exe -o out.exe nothing-here.txt
expect_error 1 'not a plain file name' build --stub stub.exe -o out.exe 'payload/readme.txt=sub\x.txt'
expect_error 1 'packed twice' build --stub stub.exe -o out.exe payload/readme.txt 'payload/license.txt=README.TXT'
mkdir -p nested/inner
expect_error 1 'cannot hold' build --stub stub.exe -o out.exe nested
expect_error 1 'not among the packed files' build --stub stub.exe -o out.exe --main Engine.exe payload
expect_error 1 'piece-size' build --stub stub.exe -o out.exe --piece-size 4500 payload
expect_error 2 'unknown option' build --stub stub.exe -o out.exe --frobnicate payload
expect_error 2 'level' build --stub stub.exe -o out.exe --level 11 payload
expect_error 2 'no output' build --stub stub.exe payload
printf '[Russian]\nCharset=204\ns0=\320\226\ns1=Gr\303\274\303\237e\n' >misfit.ini
expect_error 1 "line 4: U+00FC ($(printf '\303\274')) does not fit block \[Russian\] (Charset 204, code page 1251)" \
  build --stub stub.exe -o out.exe --languages misfit.ini payload
if [ "$(id -u)" != 0 ]; then
  cp payload/readme.txt locked.txt && chmod 000 locked.txt
  expect_error 1 'cannot read' build --stub stub.exe -o out.exe locked.txt
fi

set +e
"$stubpack" list payload/readme.txt >/dev/null 2>&1
[ $? = 1 ] || fail "list of a file without a package must exit 1"
"$stubpack" list missing.exe >/dev/null 2>&1
[ $? = 1 ] || fail "list of a missing file must exit 1"
echo ok

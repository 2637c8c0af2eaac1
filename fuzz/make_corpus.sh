#!/bin/sh
# Seeds the fuzzers with real builder output: setup files of every kind, pieces,
# language lists and information lines.
#   make_corpus.sh STUBPACK CORPUS_DIR
set -eu
stubpack=$1
corpus=$2
here=$(cd "$(dirname "$0")/.." && pwd)
work=$corpus/work
rm -rf "$work"
mkdir -p "$work" "$corpus/package_reader" "$corpus/separator_lists" "$corpus/extractor" "$corpus/signed_info"
# A minimal stub image: "MZ", e_lfanew = 0x100, "PE\0\0" at 0x100.
{
  printf 'MZ'; head -c 58 /dev/zero; printf '\000\001\000\000'; head -c 192 /dev/zero
  printf 'PE\000\000'; head -c 252 /dev/zero
} >"$work/stub.exe"
printf 'hello\n' >"$work/a.txt"
head -c 3000 /dev/urandom >"$work/b.bin"
export SOURCE_DATE_EPOCH=1700000000
"$stubpack" build --stub "$work/stub.exe" -o "$corpus/package_reader/setup.exe" --token seed \
  --languages "$here/examples/demo/languages.ini" --main b.bin --main-args /X "$work/a.txt" "$work/b.bin" >/dev/null 2>&1
"$stubpack" build --stub "$work/stub.exe" -o "$corpus/package_reader/stored.exe" --store --header-strings 0 "$work/a.txt" >/dev/null 2>&1
"$stubpack" build --stub "$work/stub.exe" -o "$corpus/package_reader/net.exe" --internet --download-location http://h/ \
  --download-name s.exe --download-size 10 --download-token t >/dev/null 2>&1
"$stubpack" build --stub "$work/stub.exe" -o "$corpus/package_reader/agent.exe" --agent --agent-name A.exe >/dev/null 2>&1
"$stubpack" build --stub "$work/stub.exe" -o "$work/span.exe" --piece-size 2k --store "$work/b.bin" >/dev/null 2>&1
cp "$work/span.exe.002" "$corpus/package_reader/piece.002"
# The extraction takes the same packages.
cp "$corpus/package_reader/"* "$corpus/extractor/"
printf '|a|b|c|' >"$corpus/separator_lists/list"
printf '|&OK|&Cancel|&Yes|&No|\001/SpanCdLvl=2 /OriginExe="C:\\a b\\x.exe" /hide' >"$corpus/separator_lists/switches"
printf '*English*s0=Hello*Charset=0*' >"$corpus/separator_lists/block"
# A signed information file, a DER signature and a P-256 public key.
printf '[NewSetup]\r\nVersionNew=2\r\n\r\n[Signature]\r\nValue=%s==\r\n' \
  "$(printf 'A%.0s' $(seq 86))" >"$corpus/signed_info/info"
printf '\060\006\002\001\001\002\001\001' >"$corpus/signed_info/der"
python3 -c 'import sys; sys.stdout.buffer.write(bytes.fromhex(sys.argv[1]))' \
  3059301306072a8648ce3d020106082a8648ce3d03010703420004764d27f8625b6f29e1d3c251823323a06c440b85c3a7106db4fb90bafdcf0e49513f114b3a85423295c9d66aa83a87c050babe604509ad8eb1c297381ec9be97 \
  >"$corpus/signed_info/spki"
rm -rf "$work"

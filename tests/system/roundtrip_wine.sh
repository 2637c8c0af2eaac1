#!/bin/sh
# Builder -> reader under Wine: stubpack.exe packs the demo, spans it over pieces and
# makes an agent file; its Windows reader lists each exactly as packed.
set -eu
: "${STUB_EXE:?}" "${WINE_ENV:?}" "${STUBPACK_EXE:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/examples/demo/files/* "$work/"
head -c 900000 /dev/urandom >"$work/big.bin"
cd "$work"
export SOURCE_DATE_EPOCH=1796823930
pack() { $run "$STUBPACK_EXE" "$@"; }

pack build --stub "$STUB_EXE" -o setup.exe --token wine-token --main big.bin --main-args "/S" \
  --languages "$here/examples/demo/languages.ini" readme.txt license.txt big.bin >/dev/null 2>&1 || fail "build"
pack list --json setup.exe >list.json || fail "list: $(cat list.json)"
tr -d '\r' <list.json >l.json
grep -q '"readable":true' l.json || fail "not readable"
grep -q '"token":"wine-token"' l.json || fail "token not read back"
grep -q '"name":"big.bin","main":true,"mainArgs":"/S","dosDate":1569287599,"date":"2026-12-09 13:45:30","compressed":true,"storedSize":[0-9]*,"unpackedSize":900000' l.json ||
  fail "main record wrong: $(cat l.json)"
grep -q '"name":"readme.txt"' l.json || fail "readme missing"
grep -q '"language":"German"' l.json || fail "language blocks missing"
grep -q '"problems":\[\]' l.json || fail "problems: $(cat l.json)"

# Spanned over pieces of 320 KB; the Windows reader follows setup.exe.002, ...
pack build --stub "$STUB_EXE" -o span.exe --piece-size 320k readme.txt big.bin >/dev/null 2>&1 || fail "span build"
[ -f span.exe.002 ] || fail "no second piece"
pack list --json span.exe | tr -d '\r' >s.json || fail "span list: $(cat s.json)"
grep -q '"problems":\[\]' s.json || fail "span problems: $(cat s.json)"
total=$(grep -o '"name":"big.bin"[^}]*' s.json | sed 's/.*"unpackedSize":\([0-9]*\).*/\1/' | awk '{s += $1} END {print s}')
[ "$total" = 900000 ] || fail "big.bin pieces add up to $total"

pack build --stub "$STUB_EXE" -o agent.exe --agent --agent-name AutoUpdate.exe --agent-log >/dev/null 2>&1 || fail "agent build"
pack list --json agent.exe | tr -d '\r' >a.json || fail "agent list"
grep -q '"ThisIs_AutoUpdateProg":1' a.json || fail "agent flag"
grep -q '"agentName":"AutoUpdate.exe"' a.json || fail "agent name"
grep -q '"records":\[\]' a.json || fail "agent has records"
echo ok

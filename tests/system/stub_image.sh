#!/bin/sh
# Stub.exe as the loader sees it: a 32-bit GUI program with its PE header at exactly
# 0x100, an empty stamp area, only Windows' own DLLs imported, and it still runs
# under Wine, alone and with a package appended.
set -eu
: "${STUB_EXE:?}" "${STUB_SETUP_HALF_EXE:?}" "${PEHEADER:?}" "${WINE_ENV:?}" "${STUBPACK_EXE:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

info=$("$PEHEADER" info "$STUB_EXE")
echo "$info"
echo "$info" | grep -qx 'pe_offset=0x100' || fail "PE header is not at 0x100"
echo "$info" | grep -qx 'machine=0x14c' || fail "not a 32-bit x86 image"
echo "$info" | grep -qx 'subsystem=2' || fail "not a GUI-subsystem program"
# Every import must be a DLL that ships with Windows.
echo "$info" | sed -n 's/^import=//p' | while read -r dll; do
  case $(echo "$dll" | tr 'a-z' 'A-Z') in
  # Windows always takes these from its own folder; everything else is loaded at run
  # time from the system folder by full path.
  KERNEL32.DLL | USER32.DLL | GDI32.DLL | ADVAPI32.DLL | SHELL32.DLL | OLE32.DLL | OLEAUT32.DLL | \
    SHLWAPI.DLL | COMDLG32.DLL | MSVCRT.DLL | PSAPI.DLL | IMM32.DLL) ;;
  *) fail "Stub.exe imports $dll, which is not part of Windows" ;;
  esac
done
stamp=$(od -An -tx1 -j 248 -N 8 "$STUB_EXE" | tr -d ' \n')
[ "$stamp" = "0000000000000000" ] || fail "the stamp area 0xF8..0xFF of Stub.exe is not empty: $stamp"
size=$(wc -c <"$STUB_EXE")
echo "Stub.exe size: $size bytes"
# The budget of the whole product, agent included (bench/size_report.sh shows where
# the bytes go).
[ "$size" -le 262144 ] || fail "Stub.exe is $size bytes, over its budget of 262144 (256 KB)"
# The setup half alone: Stub.exe linked without the agent's entry points. The update
# cycle's step names show that the agent really is out of it and in Stub.exe.
half=$(wc -c <"$STUB_SETUP_HALF_EXE")
echo "setup half size: $half bytes"
[ "$half" -le 196608 ] || fail "the setup half is $half bytes, over its budget of 196608 (192 KB)"
! grep -a -q -F 'PerformAutoUpdate' "$STUB_SETUP_HALF_EXE" || fail "the setup half still holds the update cycle"
grep -a -q -F 'PerformAutoUpdate' "$STUB_EXE" || fail "Stub.exe lacks the update cycle"
# The build token's markers stand in the image exactly once, 61 bytes apart.
for marker in 'STUBBLD*s' 'STUBEND*e'; do
  n=$(grep -a -o -F "$marker" "$STUB_EXE" | wc -l)
  [ "$n" = 1 ] || fail "build token marker $marker found $n times"
done
start=$(grep -a -b -o -F 'STUBBLD*s' "$STUB_EXE" | cut -d: -f1)
end=$(grep -a -b -o -F 'STUBEND*e' "$STUB_EXE" | cut -d: -f1)
[ $((end - start)) = 70 ] || fail "build token markers are $((end - start)) bytes apart"

# The moved header still loads: Wine runs the bare stub and a stamped setup file.
$run "$STUB_EXE" || fail "Stub.exe does not run (exit $?)"
printf 'demo\r\n' >"$work/readme.txt"
$run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$work/setup.exe" "$work/readme.txt" >/dev/null 2>&1 ||
  fail "stubpack.exe could not build a setup file"
$run "$work/setup.exe" || fail "the setup file does not run (exit $?)"
echo "ok"

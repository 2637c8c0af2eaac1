#!/bin/sh
# A setup file usually runs from a Downloads folder full of other files. Libraries
# planted beside it must never be loaded: every library the stub loads at run time
# comes from the system folder.
set -eu
: "${STUB_EXE:?}" "${WINE_ENV:?}" "${STUBPACK_EXE:?}" "${MARKER_DLL:?}" "${LOADLIB_CONTROL:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# version.dll is left out: Wine's own advapi32 imports it, so Wine's loader takes a
# planted copy before the first instruction of the stub runs (Windows' advapi32 does
# not import it). The stub itself loads version.dll by its system-folder path.
libraries="RICHED32.DLL USP10.dll MSLS31.dll SHFolder.dll WinINet.dll PSAPI.DLL comctl32.dll"
# Wine prefers its built-in copies over any file; let native files win for these
# names, as a real Windows would for a DLL found first in the search order.
overrides=""
for lib in $libraries; do
  cp "$MARKER_DLL" "$lib"
  overrides="$overrides$(echo "$lib" | tr 'A-Z' 'a-z' | sed 's/\.dll$//'),"
done
export WINEDLLOVERRIDES="${overrides%,}=n,b;mscoree,mshtml="
run="$here/tests/support/wine-run.sh $WINE_ENV"

# Control: a program loading by bare name does pick the planted files up, so this
# test can fail.
cp "$LOADLIB_CONTROL" control.exe
$run ./control.exe $libraries || true
for lib in $libraries; do
  [ -f "$lib.loaded" ] || fail "control: the planted $lib was not loaded, the test proves nothing"
  rm "$lib.loaded"
done

printf 'x\r\n' >readme.txt
$run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o setup.exe readme.txt >/dev/null 2>&1 || fail "stubpack"
$run ./setup.exe || fail "setup.exe exited with $?"
for lib in $libraries; do
  [ ! -f "$lib.loaded" ] || fail "Stub.exe loaded the planted $lib"
done
echo ok

#!/bin/sh
# Builds both trees and runs every test: native unit tests under ASan/UBSan, the
# builder's command line, short fuzz runs, and the Windows tests under Wine.
#   scripts/test.sh            (FUZZ_SECONDS=N sets the fuzz time per target)
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
for preset in native windows; do
  cmake --preset "$preset" -DFUZZ_SECONDS="${FUZZ_SECONDS:-20}" >/dev/null
  cmake --build --preset "$preset"
done
status=0
ctest --preset native || status=1
ctest --preset windows || status=1
exit $status

#!/bin/sh
# Size report of Stub.exe: links it once more with a linker map and prints what each
# of our source files and each library member adds, beside the budgets.
#
#   sh bench/size_report.sh [BUILD_DIR]     (default build/windows, after its build)
#
# Budgets: the whole stub, agent included, at most 256 KB (262144 bytes), and the setup
# half on its own at most 192 KB (196608 bytes); the stub_image test enforces both. The
# setup half is measured, not estimated: the build links Stub.exe once more with the
# agent's entry points bound to nothing (link/Stub-setup-half.exe), so the linker keeps
# only what a setup run reaches, padding, relocations and imports included. The
# per-file list beside it sums what the agent's own sources (src/agent, src/process,
# src/stub/Agent*) add to Stub.exe.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build/windows}" && pwd)
stub="$build/Stub.exe"
[ -f "$stub" ] || { echo "size_report: build $build first (cmake --build --preset windows)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The same link command as the build's, with a map and without stripping.
cmd=$(cd "$build" && ninja -t commands StubLinked | tail -n 1)
cmd=$(printf '%s' "$cmd" | sed -e "s#-o link/Stub-linked.exe#-o $work/stub.exe -Wl,-Map=$work/stub.map#" -e 's/ -s / /')
(cd "$build" && sh -c "$cmd") >/dev/null

python3 "$here/bench/map_sizes.py" "$work/stub.map" --top "${TOP:-30}" --agent-half "$here" >"$work/report"
agent=$(sed -n 's/^AGENT_HALF_BYTES=//p' "$work/report")
size=$(wc -c <"$stub")
half="$build/link/Stub-setup-half.exe"
[ -f "$half" ] || { echo "size_report: $half is missing (build the StubSetupHalf target)" >&2; exit 2; }
setup=$(wc -c <"$half")
echo "Stub.exe: $size bytes"
echo "  whole-product budget 262144: $((262144 - size)) bytes left"
echo "  setup half, linked without the agent's entry points: $setup bytes"
echo "  setup-half budget    196608: $((196608 - setup)) bytes left"
echo "  the agent's sources (src/agent, src/process, src/stub/Agent*): $agent bytes of code and data"
echo
echo "sections of Stub.exe (bytes in memory):"
i686-w64-mingw32-objdump -h "$stub" | awk 'NF >= 7 && $1 ~ /^[0-9]+$/ { printf "  %-10s %7d\n", $2, ("0x" $3) + 0 }' 2>/dev/null ||
  i686-w64-mingw32-objdump -h "$stub"
echo
grep -v '^AGENT_HALF_BYTES=' "$work/report"

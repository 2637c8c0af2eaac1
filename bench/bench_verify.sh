#!/bin/sh
# What a keyed agent's check of a downloaded package costs: the SHA-256 of payload A's
# update package (bench/make_payload.py A packed at level 9, ~121 MB) through CNG under
# Wine, by the stub's own code (bench/sha256_cng.exe), beside sha256sum natively in the
# same run, and against the package's download time at 1 Gbit/s.
#
#   sh bench/bench_verify.sh          (after both builds; RUNS=5 for more rounds)
#   WINDOWS_TREE=... NATIVE_TREE=... BENCH_DIR=...   other trees and work folder
#
# Run by hand, not by CTest. Each round hashes the file once cold-ish (after a sync)
# and reports the best and the median of the rounds.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
win=$(cd "${WINDOWS_TREE:-$here/build/windows}" && pwd)
nat=$(cd "${NATIVE_TREE:-$here/build/native}" && pwd)
bench=${BENCH_DIR:-$here/build/bench-verify}
runs=${RUNS:-5}
mkdir -p "$bench"
bench=$(cd "$bench" && pwd)
tool="$win/bench/sha256_cng.exe"
[ -f "$tool" ] || { echo "bench_verify: build the windows tree first (sha256_cng)" >&2; exit 2; }

package="$bench/Update.exe"
if [ ! -f "$package" ]; then
  [ -d "$bench/payload-A" ] || python3 "$here/bench/make_payload.py" A "$bench/payload-A" --flat >/dev/null
  "$nat/stubpack" build --stub "$win/Stub.exe" --main Engine.exe --level 9 -o "$package" "$bench/payload-A" \
    "$win/tests/engine_double.exe=Engine.exe" >/dev/null
fi
bytes=$(wc -c <"$package")

env_dir="$bench/wine-env"
sh "$here/tests/support/wine-env.sh" start "$env_dir" >/dev/null
trap 'sh "$here/tests/support/wine-env.sh" stop "$env_dir" >/dev/null 2>&1 || true' EXIT
run() { sh "$here/tests/support/wine-run.sh" "$env_dir" "$@"; }

cng_ms="" native_ms="" digest_cng="" digest_native=""
i=0
while [ $i -lt "$runs" ]; do
  sync
  out=$(run "$tool" "Z:$(printf '%s' "$package" | tr / '\\')" | tr -d '\r')
  digest_cng=$(printf '%s\n' "$out" | sed -n 's/^sha256=//p')
  cng_ms="$cng_ms $(printf '%s\n' "$out" | sed -n 's/^ms=//p')"
  sync
  t0=$(date +%s%N)
  digest_native=$(sha256sum "$package" | cut -d' ' -f1)
  t1=$(date +%s%N)
  native_ms="$native_ms $(( (t1 - t0) / 1000000 ))"
  i=$((i + 1))
done
[ "$digest_cng" = "$digest_native" ] || { echo "bench_verify: the digests differ" >&2; exit 1; }

python3 - "$bytes" "$cng_ms" "$native_ms" <<'PY'
import statistics, sys
size = int(sys.argv[1])
cng = [float(x) for x in sys.argv[2].split()]
nat = [float(x) for x in sys.argv[3].split()]
mb = size / 1e6
def rate(ms): return mb / (ms / 1000.0)
download_ms = size * 8 / 1e9 * 1000  # the same bytes at 1 Gbit/s
print("package: %.1f MB" % mb)
print("CNG under Wine (stub's code): best %.0f ms (%.0f MB/s), median %.0f ms" % (min(cng), rate(min(cng)), statistics.median(cng)))
print("sha256sum natively:           best %.0f ms (%.0f MB/s), median %.0f ms" % (min(nat), rate(min(nat)), statistics.median(nat)))
print("CNG / native (best):          %.2f" % (min(cng) / min(nat)))
print("download at 1 Gbit/s:         %.0f ms; the check is %.2f of it" % (download_ms, statistics.median(cng) / download_ms))
PY

#!/bin/sh
# Builds everything, packs examples/demo into a setup file and lists it, first with
# the native builder and then with the stub's own Windows reader under Wine; then
# runs the setup file under Wine: the stub unpacks it, starts the example engine,
# which installs the files, and passes its exit code on.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
sh scripts/install-deps.sh
for preset in native windows; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null
done
out=build/demo
rm -rf "$out" && mkdir -p "$out/payload"
cp examples/demo/files/* build/windows/Engine.exe "$out/payload/"
build/native/stubpack build --stub build/windows/Stub.exe -o "$out/DemoSetup.exe" \
  --languages examples/demo/languages.ini --token demo-token-1 \
  --agent-name DemoUpdate.exe --info-location http://127.0.0.1/demo/ --info-file DemoApp.info \
  --show-activity-bar --main Engine.exe "$out/payload"
echo
echo "== $out/DemoSetup.exe, as the builder lists it =="
build/native/stubpack list "$out/DemoSetup.exe"

echo
echo "== the same file through the stub's Windows reader (stubpack.exe under Wine) =="
env=build/windows/wine-env
sh tests/support/wine-env.sh start "$env" >/dev/null
trap 'sh tests/support/wine-env.sh stop "$root/$env"' EXIT
tests/support/wine-run.sh "$env" build/windows/stubpack.exe list "$out/DemoSetup.exe" | tr -d '\r'

echo
echo "== running build/demo/DemoSetup.exe under Wine (hidden, as an unattended install) =="
prefix="$root/$env/prefix"
target="$prefix/drive_c/Program Files/Vabrix Demo"
rm -rf "$target"
tests/support/wine-run.sh "$env" build/windows/tests/exit_launcher.exe "$out/DemoSetup.exe" /hide | tr -d '\r' |
  sed -n 's/^exit=/stub exit code: /p'
echo
echo "== installed into C:\\Program Files\\Vabrix Demo (in $prefix) =="
ls -l "$target"
echo
echo "== the engine's install.log (its command line first) =="
tr -d '\r' <"$target/install.log"

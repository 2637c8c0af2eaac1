#!/bin/sh
# A full update of the demo under Wine: version 1 is installed with its update agent,
# the demo application and the agent run, the vendor publishes version 2, and the
# agent closes the application, installs version 2 and starts both again.
#
#   sh examples/demo/update-demo.sh                       (after building the windows preset)
#   WINDOWS_TREE=build/x-windows sh examples/demo/update-demo.sh
#
# Steps: the test server (tests/support/http_server.py) plays the vendor's web server
# on 127.0.0.1; version 1 (DemoApp.exe, the example engine, examples/demo/files) is
# packed with --create-agent, so that its setup run writes the agent DemoUpdate.exe
# beside the engine, which installs it with the rest into C:\Program Files\Vabrix Demo
# and records that folder in DemoApp.original. The script starts DemoApp.exe and the
# agent, which takes its information file DemoApp.info from the server (version 1 is
# current: nothing to do). Then version 2 is packed with the same token, published
# with an information file that offers it, and the agent is asked to look now
# (DemoUpdate.exe /TEST=1, what a "check for updates" link does). The agent downloads
# the package, closes the application with WM_CLOSE, runs the setup (the engine
# installs into the product's folder and writes Version=2 into DemoApp.ini), records
# VersionOriginal=2, starts DemoApp.exe again and restarts itself (its new copy waits
# 10 s for the old one to end). The script prints what the user sees before and after
# and the agent's update log, and exits 1 when the update did not happen.
#
# It uses the Wine environment of WINE_ENV when that is set (the CTest entry
# update_demo does so), else starts its own in the tree's update-demo folder.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
b=${WINDOWS_TREE:-$root/build/windows}
case $b in /*) ;; *) b=$root/$b ;; esac
for f in Stub.exe stubpack.exe Engine.exe DemoApp.exe vdebug.exe winrobot.exe tests/exit_launcher.exe; do
  [ -f "$b/$f" ] || { echo "update-demo: $b/$f is missing: build the windows preset first" >&2; exit 1; }
done
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
work=$(mktemp -d "${TMPDIR:-/tmp}/update-demo.XXXXXX")
own_env=""
if [ -z "${WINE_ENV:-}" ]; then
  WINE_ENV=$b/update-demo/wine-env
  own_env=1
  sh "$root/tests/support/wine-env.sh" start "$WINE_ENV" >/dev/null
fi
run="$root/tests/support/wine-run.sh $WINE_ENV"
prefix=$WINE_ENV/prefix
target="$prefix/drive_c/Program Files/Vabrix Demo"
wtarget='C:\Program Files\Vabrix Demo'
server="" viewer="" app=""

robot() { $run "$b/winrobot.exe" "$@" 2>>"$work/robot.err" | tr -d '\r'; }
cleanup() {
  if [ -f "$target/X_DemoUpdate.exe" ]; then
    $run "$target/DemoUpdate.exe" /STOP=0 >/dev/null 2>&1 || true
    i=0
    while [ -f "$target/X_DemoUpdate.exe" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  fi
  robot close --class VabrixDemoApp >/dev/null 2>&1 || true
  robot waitgone --class VabrixDemoApp --timeout 5000 >/dev/null 2>&1 || true
  for pid in $app $viewer $server; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$target"
  [ -z "$own_env" ] || sh "$root/tests/support/wine-env.sh" stop "$WINE_ENV" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "update-demo: FAILED: $*" >&2
  [ -f "$target/X_DemoUpdate.log" ] && { echo "--- X_DemoUpdate.log" >&2; tr -d '\r' <"$target/X_DemoUpdate.log" >&2; }
  [ -f "$target/install.log" ] && { echo "--- install.log" >&2; tr -d '\r' <"$target/install.log" >&2; }
  echo "--- trace (last lines)" >&2
  tr -d '\r' <"$work/trace.txt" | grep -v '^$' | tail -40 >&2
  exit 1
}
# wait_for SECONDS WHAT COMMAND...: until the command succeeds
wait_for() {
  limit=$(($1 * 10)) what=$2
  shift 2
  i=0
  until "$@"; do [ $i -lt $limit ] || fail "$what"; sleep 0.1; i=$((i + 1)); done
}
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
logged() { [ -f "$target/X_DemoUpdate.log" ] && tr -d '\r' <"$target/X_DemoUpdate.log" | grep -q "$1"; }
# transient agents started so far, by the update log's start lines
agent_starts() { tr -d '\r' <"$target/X_DemoUpdate.log" | grep -c 'X === START === .*\\X_DemoUpdate.exe$' || true; }
caption() { robot show --class VabrixDemoApp | sed -n 's/^caption=//p'; }
shows_version() { [ "$(caption)" = "Demo App - version $1" ]; }
ini_value() { tr -d '\r' <"$1" | sed -n "s/^$2=//p" | head -1; }

# ---- the vendor's server and the debug viewer ---------------------------------------
mkdir -p "$work/www"
python3 "$root/tests/support/http_server.py" --root "$work/www" --port-file "$work/port" >"$work/server.log" 2>&1 &
server=$!
wait_for 10 "the test server did not start" test -s "$work/port"
vendor="http://127.0.0.1:$(cat "$work/port")/vendor"
: >"$work/trace.txt"
$run "$b/vdebug.exe" -q -o "$(winpath "$work/trace.txt")" --ready-file "$(winpath "$work/viewer.ready")" \
  --timeout 600 >/dev/null 2>&1 &
viewer=$!
wait_for 30 "the debug viewer did not start" test -f "$work/viewer.ready"

# pack VERSION: the setup file of that version, in $work/DemoSetupVERSION.exe
pack() {
  rm -rf "$work/v$1" && mkdir -p "$work/v$1"
  cp "$root"/examples/demo/files/* "$b/Engine.exe" "$b/DemoApp.exe" "$work/v$1/"
  $run "$b/stubpack.exe" build --stub "$(winpath "$b/Stub.exe")" -o "$(winpath "$work/DemoSetup$1.exe")" \
    --languages "$(winpath "$root/examples/demo/languages.ini")" --token demo-token-1 \
    --create-agent --agent-name DemoUpdate.exe --agent-log --info-file DemoApp.info --info-location "$vendor" \
    --main Engine.exe "$(winpath "$work/v$1")" >"$work/pack$1.log" 2>&1 || fail "stubpack: $(cat "$work/pack$1.log")"
}
# publish VERSION [more lines]: the information file the vendor's server offers
publish() {
  printf '[NewSetup]\r\nVersionNew=%s\r\nStamp=%s\r\nProgramName=Demo App\r\n%b' "$1" "$1" "${2:-}" >"$work/www/DemoApp.info"
}

# ---- version 1: install, start the application and the agent -------------------------
echo "== version 1: build, install, start DemoApp.exe and the agent =="
pack 1
publish 1
rm -rf "$target"
res=$($run "$b/tests/exit_launcher.exe" "$(winpath "$work/DemoSetup1.exe")" /hide | tr -d '\r')
[ "$(printf '%s\n' "$res" | sed -n 's/^exit=//p')" = 0 ] || fail "the setup of version 1: $res"
[ -f "$target/DemoUpdate.exe" ] && [ -f "$target/DemoApp.exe" ] || fail "version 1 is not installed: $(ls "$target")"
echo "installed into $wtarget: $(cd "$target" && ls | tr '\n' ' ')"
echo "DemoApp.original [Directories] TargetDir=$(ini_value "$target/DemoApp.original" TargetDir)"

$run "$wtarget\\DemoApp.exe" >/dev/null 2>&1 &
app=$!
robot wait --class VabrixDemoApp --timeout 30000 >/dev/null || fail "the demo application shows no window"
before=$(caption)
echo "the application's window: $before"
$run "$wtarget\\DemoUpdate.exe" >/dev/null 2>&1 || fail "the agent did not start"
wait_for 30 "the agent's first probe" logged 'GetOkToPerformAU = '
echo "the agent's first probe: $(tr -d '\r' <"$target/X_DemoUpdate.log" | sed -n 's/.*\(GetOkToPerformAU = .*\)/\1/p' | tail -1)"

# ---- version 2: publish, ask the agent to look now --------------------------------------
echo
echo "== version 2: build, publish on $vendor, DemoUpdate.exe /TEST=1 =="
pack 2
cp "$work/DemoSetup2.exe" "$work/www/"
publish 2 "DownloadURL_UPDATE=$vendor\r\nNameOfUpdateFile=DemoSetup2.exe\r\nSizeOfUpdateFile=$(stat -c %s "$work/DemoSetup2.exe")\r\nShutDownMethod=Using WM_CLOSE\r\nRunningProcess=<InstallDir>DemoApp.exe\r\nRestartProcess=1\r\n"
tr -d '\r' <"$work/www/DemoApp.info" | sed 's/^/  /'
starts=$(agent_starts)
$run "$wtarget\\DemoUpdate.exe" /TEST=1 >/dev/null 2>&1 || fail "DemoUpdate.exe /TEST=1"
wait_for 30 "the agent did not take the offer" logged 'PerformAutoUpdate() - START'
robot waitgone --class VabrixDemoApp --timeout 30000 >/dev/null || fail "the application was not closed"
echo "the application's window closed"
wait_for 60 "the update did not end" logged 'PerformAutoUpdate() - END'
logged 'Result=TRUE' || fail "the update failed"
robot wait --class VabrixDemoApp --timeout 30000 >/dev/null || fail "the application was not started again"
wait_for 10 "the restarted application shows no version 2" shows_version 2
echo "the application's window again: $(caption)"
restarted() { [ "$(agent_starts)" -gt "$starts" ]; }
wait_for 30 "the agent did not restart itself" restarted
echo "the agent restarted itself (a new X_DemoUpdate.exe)"

echo
echo "== what happened =="
echo "version before: $before"
echo "version after:  $(caption)"
echo "DemoApp.ini Version=$(ini_value "$target/DemoApp.ini" Version) (written by the engine)"
echo "DemoApp.original VersionOriginal=$(ini_value "$target/DemoApp.original" VersionOriginal) (written by the agent)"
echo "the update log X_DemoUpdate.log:"
tr -d '\r' <"$target/X_DemoUpdate.log" |
  grep -E ' X (=== START ===|GetOkToPerformAU|PerformAutoUpdate|Download (START|END)|Shut Down|Restart|\.\. |ERROR| *--- )' |
  sed 's/^/  /'
[ "$(ini_value "$target/DemoApp.original" VersionOriginal)" = 2 ] || fail "VersionOriginal was not recorded"
[ -n "$(ini_value "$target/DemoApp.original" TargetDir)" ] || fail "the update lost DemoApp.original's TargetDir"
echo "update-demo: ok"

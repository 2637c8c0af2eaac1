#!/bin/sh
# Start-up of Stub.exe in each run mode, seen through the debug viewer and the
# update log: trace lines, the chosen mode, and the log written only with its flag.
set -eu
: "${STUB_EXE:?}" "${WINE_ENV:?}" "${STUBPACK_EXE:?}" "${VDEBUG_EXE:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
fail() { echo "FAIL: $*" >&2; [ -f "$work/trace.txt" ] && cat "$work/trace.txt" >&2; exit 1; }
work=$(mktemp -d)
viewer=""
cleanup() {
  [ -n "$viewer" ] && kill "$viewer" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
# Waits up to 30 s for a file that a started program creates once it is ready.
wait_for() { # file message
  i=0
  while [ ! -f "$1" ]; do
    [ $i -lt 300 ] || fail "$2"
    sleep 0.1
    i=$((i + 1))
  done
}
pack() { $run "$STUBPACK_EXE" build --stub "$STUB_EXE" "$@" >/dev/null 2>&1 || fail "stubpack $*"; }

$run "$VDEBUG_EXE" -q -o trace.txt --ready-file ready --timeout 120 >viewer.log 2>&1 &
viewer=$!
wait_for ready "the viewer did not start"

# Each start's lines, from its STUB START line on.
start() { # name args...
    before=$(wc -l <trace.txt)
  name=$1
  shift
  $run "$name" "$@" || fail "$name exited with $?"
  tr -d '\r' <trace.txt | tail -n +"$((before + 1))" >last.txt
  grep -q 'STUB END' last.txt || fail "no end line for $name"
}

printf 'x\r\n' >readme.txt
pack -o setup.exe readme.txt
start ./setup.exe /foo
grep -Eq '^[0-9]+ ==== STUB START ====> .*setup.exe.* /foo<$' last.txt || fail "start line"
grep -Eq '^[0-9]+ ==== ThisIs_AutoUpdateProg=FALSE$' last.txt || fail "agent flag line"
grep -q 'run mode: setup run' last.txt || fail "setup run not chosen"
# The setup run takes its temp folder on the first tick and removes it at the end.
grep -Eq 'SetupTempFolder=.*\\SETUP_[0-9]+$' last.txt || fail "no setup temp folder taken"
setup_folder=$(sed -n 's/.*SetupTempFolder=//p' last.txt)
unix_folder=$($run winepath -u "$setup_folder" 2>/dev/null)
[ -n "$unix_folder" ] && [ -d "$(dirname "$unix_folder")" ] || fail "cannot find the temp folder $setup_folder"
[ ! -e "$unix_folder" ] || fail "the setup temp folder stayed: $setup_folder"
[ ! -f X_setup.log ] || fail "a setup without the agent flag wrote a log"

# The first level of a spanned set restarts as its "Y_" copy in the temp folder; the
# copy runs the setup and then removes itself and its folder.
copies_done() { tr -d '\r' <trace.txt | grep -c 'STUB END ====> C:.*\\Y_span\.exe ' || true; }
wait_copy() { # count
  i=0
  until [ "$(copies_done)" -ge "$1" ]; do [ $i -lt 300 ] || fail "the Y_ copy did not end"; sleep 0.1; i=$((i + 1)); done
  i=0
  while ls -d "$WINE_ENV"/prefix/drive_c/users/*/Temp/SETUP_* >/dev/null 2>&1; do
    [ $i -lt 300 ] || fail "the Y_ copy's folder stayed: $(ls -R "$WINE_ENV"/prefix/drive_c/users/*/Temp)"
    sleep 0.1
    i=$((i + 1))
  done
}
pack -o span.exe --piece-size 400k readme.txt
start ./span.exe
grep -q 'run mode: first-level spanned run' last.txt || fail "spanned first level"
wait_copy 1
start ./span.exe /SpanCdLvl=2
grep -q 'run mode: setup run' last.txt || fail "spanned second level"
start ./span.exe /SpanCdLvl=1
grep -q 'run mode: first-level spanned run' last.txt || fail "/SpanCdLvl=1 is the first level"
wait_copy 2
# The copy runs at level 2 however the first level was started.
tr -d '\r' <trace.txt | grep 'STUB START ====> C:.*\\Y_span\.exe ' | grep -q 'SpanCdLvl=1' &&
  fail "the copy got /SpanCdLvl=1: $(grep 'Y_span' trace.txt)"

# The plain agent starts its transient copy and tells it to end at its next tick.
pack -o Agent.exe --agent --agent-name Agent.exe --agent-log
start ./Agent.exe /STOP=0
grep -q 'ThisIs_AutoUpdateProg=TRUE' last.txt || fail "agent flag"
grep -q 'run mode: plain agent' last.txt || fail "plain agent"
[ -f X_Agent.log ] || fail "no update log: $(ls)"
tr -d '\r' <X_Agent.log >log.txt
grep -q '=== START === .*Agent.exe' log.txt || fail "log start line: $(cat log.txt)"
grep -q 'Agent Version=1.0.0.1' log.txt || fail "version line: $(cat log.txt)"
grep -q 'ThisIs_Plain_AutoUpdate_Exe=TRUE' log.txt || fail "plain test line"
grep -q '=== EXIT ===' log.txt || fail "exit line"

i=0
until tr -d '\r' <trace.txt | grep -q 'STUB END ====> "[^"]*X_Agent.exe"'; do
  [ $i -lt 300 ] || fail "the transient agent did not end"
  sleep 0.1
  i=$((i + 1))
done
tr -d '\r' <trace.txt | grep -q 'run mode: transient agent' || fail "transient agent"
grep -q ' X .*ThisIs_X_AutoUpdate_Exe=TRUE' X_Agent.log || fail "transient lines carry the X indent"

# Second instance: a window whose class is the setup's full path means it runs.
winpath=$(grep -o 'STUB START ====> "[^"]*setup.exe"' trace.txt | head -1 | sed 's/.*"\(.*\)"/\1/')
[ -n "$winpath" ] || fail "no Windows path of setup.exe in the trace"
$run "${HOLD_WINDOW:?}" "$winpath" held 20 >/dev/null 2>&1 &
holder=$!
wait_for held "the window holder did not start"
start ./setup.exe
kill "$holder" 2>/dev/null || true
grep -q 'another instance runs' last.txt || fail "the second instance was not noticed"
grep -q 'run mode:' last.txt && fail "the second instance chose a run mode"
# The same file under another path is another instance.
cp setup.exe copy.exe
start ./copy.exe
grep -q 'run mode: setup run' last.txt || fail "a copy in another path must run"

pack -o Quiet.exe --agent --agent-name Quiet.exe
start ./Quiet.exe /STOP=0
[ ! -f X_Quiet.log ] || fail "an agent without the log flag wrote a log"
echo ok

# Shell helpers of the window tests: run a Windows program of the test run, start a
# program in the background and wait for it, and ask the dialog robot.
# Needs WINE_ENV and WINROBOT_EXE; the sourcing script sets "work" (a scratch folder)
# and calls "reap_all" on exit.
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
started=""

fail() {
  printf 'FAIL: %s\n' "$*" >&2
  for f in "$work"/*.out "$work"/robot.err; do
    [ -s "$f" ] && { echo "--- $f" >&2; cat "$f" >&2; }
  done
  exit 1
}
reap_all() {
  for pid in $started; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  started=""
}
# Starts a program in the background; its output goes to $work/NAME.out.
start() { # name program args...
  name=$1
  shift
  $run "$@" >"$work/$name.out" 2>&1 &
  eval "pid_$name=$!"
  started="$started $!"
}
# Waits (at most 30 s) for a started program to end; fails when it failed.
finish() { # name
  eval "pid=\$pid_$1"
  i=0
  while kill -0 "$pid" 2>/dev/null; do
    [ $i -lt 300 ] || fail "$1 is still running"
    sleep 0.1
    i=$((i + 1))
  done
  wait "$pid" || fail "$1 failed with $?"
}
# A value printed as KEY=VALUE by a started program.
value_of() { # name key
  tr -d '\r' <"$work/$1.out" | sed -n "s/^$2=//p" | head -1
}
# Runs the robot: its output without CRs on stdout, its exit code kept.
robot() {
  set +e
  $run "$WINROBOT_EXE" "$@" >"$work/robot.raw" 2>"$work/robot.err"
  r=$?
  set -e
  tr -d '\r' <"$work/robot.raw"
  return $r
}
# One KEY=VALUE line out of a robot description.
field() { # description key
  printf '%s\n' "$1" | sed -n "s/^$2=//p" | head -1
}

# ---- shared by the setup-run tests ----
# A Unix path as Windows programs of the test prefix see it.
winpath() { $run winepath -w "$1" 2>/dev/null | tr -d '\r'; }
# Setup temp folders and their lock files left in the prefix's temp folders.
temp_dirs() { ls -d "$WINE_ENV"/prefix/drive_c/users/*/Temp/SETUP_* "$WINE_ENV"/prefix/drive_c/users/*/Temp/*.lock 2>/dev/null || true; }
# The text of the setup message box with this title, once it is up.
box_text() { robot show --class VMsgBox --title "$1" --timeout 30000 | sed -n 's/^text=//p'; }
# Starts the debug viewer writing the stub's trace lines to $work/trace.txt and waits
# until its window is up.
start_viewer() {
  $run "$VDEBUG_EXE" -q -o "$work/trace.txt" --ready-file "$work/viewer.ready" --timeout 600 >/dev/null 2>&1 &
  started="$started $!"
  i=0
  until [ -f "$work/viewer.ready" ]; do [ $i -lt 300 ] || fail "no viewer"; sleep 0.1; i=$((i + 1)); done
}

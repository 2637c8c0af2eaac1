#!/bin/sh
# The dialog robot against a stand-in message box in another process: waiting,
# the description it prints (caption, text, bold ranges, buttons, right-to-left
# styles, progress bars), pressing by caption and index, posted keys that the
# box's own key filter answers, and timeouts.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${ROBOT_TARGET_EXE:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
work=$(mktemp -d)
target=""
holder=""
reap() { # pid
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  reap "$target"
  reap "$holder"
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in show.txt target.out robot.err; do
    [ -s "$work/$f" ] && { echo "--- $f" >&2; cat "$work/$f" >&2; }
  done
  exit 1
}
# Runs the robot; its output without CRs on stdout, its exit code kept.
robot() {
  set +e
  $run "$WINROBOT_EXE" "$@" >"$work/robot.out" 2>"$work/robot.err"
  r=$?
  set -e
  tr -d '\r' <"$work/robot.out"
  return $r
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts the stand-in box and waits until the robot sees it.
start_box() { # args...
  $run "$ROBOT_TARGET_EXE" --title "Robot Box" "$@" >"$work/target.out" 2>&1 &
  target=$!
  robot wait --title "Robot Box" --timeout 30000 >/dev/null || fail "the box did not appear ($*)"
}
# Waits (bounded) for the box's program to end and checks how it was answered.
expect_result() { # result via what
  i=0
  while kill -0 "$target" 2>/dev/null; do
    [ $i -lt 100 ] || fail "$3: the box is still open"
    sleep 0.1
    i=$((i + 1))
  done
  wait "$target" || fail "$3: the target failed with $?"
  target=""
  out=$(tr -d '\r' <"$work/target.out")
  [ "$out" = "via=$2
result=$1" ] || fail "$3: expected via=$2 result=$1, got: $out"
}
show() { robot show --title "Robot Box" >"$work/show.txt" || fail "show exited with $?"; }
has() { grep -qxF -- "$1" "$work/show.txt" || fail "show lacks the line: $1"; }

# A progress window keeps the desktop up for the whole run and is described generically.
$run "$ROBOT_TARGET_EXE" --progress --title "Robot Progress" >/dev/null 2>&1 &
holder=$!
robot show --class RobotProgress --timeout 30000 >"$work/show.txt" || fail "no progress window"
has "caption=Robot Progress"
has "class=RobotProgress"
has "buttons=0"
grep -q '^text' "$work/show.txt" && fail "a window without a text area printed text lines"
grep -qE '^child\.[0-9]+=Static\|Extracting files\.\.\.\|10,8,460,16\|0x[0-9A-F]{8}\|0x[0-9A-F]{8}$' "$work/show.txt" ||
  fail "the status line"
grep -qE '^child\.[0-9]+=msctls_progress32\|\|10,30,460,14\|.*\|range=0-1000\|pos=250$' "$work/show.txt" ||
  fail "the first progress bar"
grep -qE '^child\.[0-9]+=msctls_progress32\|\|10,50,460,8\|.*\|range=0-100\|pos=40$' "$work/show.txt" ||
  fail "the second progress bar"

# The description of a box.
start_box
show
has "class=VMsgBox"
has "caption=Robot Box"
has "textclass=RICHEDIT"
has 'text=Do you want to install Demo 1.0?\nFiles go to C:\\Users\\nina\\temp.'
has "bold=23-31;46-64"
has "right=0"
has "rtlreading=0"
has "buttons=3"
grep -qE '^button\.0=&Yes default=1 focus=1 rect=[0-9]+,[0-9]+,70,23$' "$work/show.txt" || fail "button 0"
grep -qE '^button\.1=&No default=0 focus=0 rect=' "$work/show.txt" || fail "button 1"
grep -qE '^button\.2=&Cancel default=0 focus=0 rect=' "$work/show.txt" || fail "button 2"
# The robot puts the selection back after reading the formats: a second look is the same.
cp "$work/show.txt" "$work/first.txt"
show
cmp -s "$work/show.txt" "$work/first.txt" || fail "a second show differs"
robot press --title "Robot Box" --button yes || fail "press yes"
expect_result 6 click "press by caption"

# Right-to-left, another default button, press by index.
start_box --rtl --default 1
show
has "right=1"
has "rtlreading=1"
grep -qE '^textexstyle=0x[0-9A-F]{4}[2367ABEF][0-9A-F]{3}$' "$work/show.txt" || fail "WS_EX_RTLREADING"
grep -qE '^button\.1=&No default=1 focus=1 ' "$work/show.txt" || fail "default button 1"
grep -qE '^button\.0=&Yes default=0 focus=0 ' "$work/show.txt" || fail "button 0 not default"
robot press --title "Robot Box" --index 2 || fail "press index 2"
expect_result 2 click "press by index"

# No such button: exit 3, the box stays.
start_box
rc=0
robot press --title "Robot Box" --button Maybe || rc=$?
[ $rc -eq 3 ] || fail "press of a missing button exited with $rc"
rc=0
robot press --title "Robot Box" --index 3 || rc=$?
[ $rc -eq 3 ] || fail "press of index 3 exited with $rc"
# Keys the way a user types them: the letter key goes through the key filter.
robot keys --title "Robot Box" N || fail "keys N"
expect_result 7 keydown "key N"

start_box --default 2
robot keys --title "Robot Box" "{ENTER}" || fail "keys Enter"
expect_result 2 enter "Enter on the default button"

start_box
robot keys --title "Robot Box" "{ESC}" || fail "keys Escape"
expect_result 0 escape "Escape"

start_box
robot keys --title "Robot Box" "{TAB}" || fail "keys Tab"
show
grep -qE '^button\.1=&No default=0 focus=1 ' "$work/show.txt" || fail "Tab moved the focus to No"
robot keys --title "Robot Box" "{ENTER}" || fail "keys Enter after Tab"
expect_result 7 enter "Tab, Enter"

# Several keys in one call; Left from the first button wraps to the last.
start_box
robot keys --title "Robot Box" "{TAB}" "{LEFT}" "{LEFT}" "{ENTER}" || fail "keys Tab Left Left Enter"
expect_result 2 enter "Tab Left Left Enter"

start_box
robot keys --title "Robot Box" char:y || fail "keys char:y"
expect_result 6 char "a character message"

# A key after the box went away cannot be delivered: exit 3.
start_box
rc=0
robot keys --title "Robot Box" n "{ENTER}" || rc=$?
[ $rc -eq 3 ] || fail "keys after the box closed exited with $rc"
expect_result 7 keydown "key n then a key too many"

# The read-only edit fallback: text without bold ranges; close and waitgone.
start_box --edit
show
has "textclass=Edit"
has 'text=Do you want to install Demo 1.0?\nFiles go to C:\\Users\\nina\\temp.'
has "bold="
rc=0
robot waitgone --title "Robot Box" --timeout 300 || rc=$?
[ $rc -eq 1 ] || fail "waitgone on an open box exited with $rc"
robot close --class VMsgBox || fail "close"
robot waitgone --title "Robot Box" --timeout 10000 || fail "waitgone after close"
expect_result 0 close "close"

# Timeouts and usage.
rc=0
start=$(now_ms)
robot wait --title "No Such Box" --timeout 1500 || rc=$?
took=$(($(now_ms) - start))
[ $rc -eq 1 ] || fail "waiting for a missing window exited with $rc"
[ $took -ge 1500 ] && [ $took -lt 6000 ] || fail "waiting for a missing window took $took ms"
grep -q "no such window" "$work/robot.err" || fail "no message for the missing window"
rc=0
robot show --timeout 10 || rc=$?
[ $rc -eq 2 ] || fail "show without a window exited with $rc"
rc=0
robot keys --class VMsgBox "{F13}" || rc=$?
[ $rc -eq 2 ] || fail "a bad key exited with $rc"
grep -q "usage:" "$work/robot.err" || fail "no usage text"

robot close --class RobotProgress || fail "close the progress window"
robot waitgone --class RobotProgress --timeout 10000 || fail "the progress window stayed"
wait "$holder" || fail "the progress window's program failed"
holder=""
echo ok

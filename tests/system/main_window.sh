#!/bin/sh
# The stub's main window under Wine, with a test step in place of the setup flow:
# centred geometry, status line and bars (right to left for Hebrew), the 32-bit
# progress range, close requests while the step runs, the listener messages, steps
# shown several at once.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${MAINWIN_HOST:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
trap 'reap_all; rm -rf "$work"' EXIT

child() { # description class-index -> class|text|x,y,w,h|style|exstyle[|range|pos]
  printf '%s\n' "$1" | sed -n "s/^child\.$2=//p"
}
geometry() { printf '%s\n' "$1" | cut -d'|' -f3; }
visible() { [ $(( $(printf '%s\n' "$1" | cut -d'|' -f4) & 0x10000000 )) -ne 0 ]; }

# ---- left to right, a long step that stops at the first close request ----
start host "$MAINWIN_HOST" --steps 100000 --interval 20 --abort-ends --linger 1500 --caption "Demo Setup"
robot wait --class MainWinHost --timeout 30000 >/dev/null || fail "the main window did not show"
d=$(robot show --class MainWinHost) || fail "show"
[ "$(field "$d" caption)" = "Demo Setup" ] || fail "caption"
area=$(value_of host workarea)
ax=$(echo "$area" | cut -d, -f1); ay=$(echo "$area" | cut -d, -f2)
aw=$(echo "$area" | cut -d, -f3); ah=$(echo "$area" | cut -d, -f4)
expect_rect="$((ax + (aw - 492) / 2)),$((ay + (ah - 110) / 2)),492,110"
[ "$(field "$d" rect)" = "$expect_rect" ] || fail "not centred in the work area $area: $(field "$d" rect)"
status=$(child "$d" 0); big=$(child "$d" 1); activity=$(child "$d" 2)
[ "$(printf '%s' "$status" | cut -d'|' -f1-2)" = "Static|Extracting Files..." ] || fail "status line: $status"
[ "$(geometry "$status")" = "70,20,340,18" ] || fail "status geometry: $status"
[ "$(geometry "$big")" = "70,38,392,13" ] || fail "progress bar geometry: $big"
[ "$(geometry "$activity")" = "416,20,46,13" ] || fail "activity bar geometry: $activity"
visible "$activity" || fail "the activity bar was not shown"
printf '%s' "$big" | grep -q '|range=0-100000|' || fail "progress range above 16 bits: $big"
printf '%s' "$activity" | grep -q '|range=0-5|' || fail "activity range: $activity"

# Private messages: a listener gets the window and the request message; an unknown
# request answers 0.
notes=$(robot listen --class MainWinHost --message 1124 --notify 0x8123 --duration 1500) || fail "listen"
hwnd=$(field "$d" hwnd)
printf '%s\n' "$notes" | grep -qx "note=50,$(printf '%d' "$hwnd")" || fail "no window notification: $notes"
printf '%s\n' "$notes" | grep -qx "note=51,1125" || fail "no request-message notification: $notes"
[ "$(robot send --class MainWinHost --message 1125 --wparam 77 --lparam 1)" = "result=0" ] || fail "unknown request"

# Close requests while the step runs only ask it to stop; the window and the temp
# folder stay until the step has returned.
for i in 1 2 3; do robot close --class MainWinHost >/dev/null || fail "close $i"; done
finish host
grep -q '^abort-seen' "$work/host.out" || fail "the step never saw the abort request"
tr -d '\r' <"$work/host.out" | grep -qx 'step-end window=1 folder=1' ||
  fail "the window or the temp folder went while the step was still running"
tr -d '\r' <"$work/host.out" | grep -qx 'after folder=0' || fail "the temp folder stayed after the tear-down"

# ---- Hebrew: the status line reads right to left, the small bar moves left ----
start rtl "$MAINWIN_HOST" --charset 177 --steps 50 --interval 100
robot wait --class MainWinHost --timeout 30000 >/dev/null || fail "the Hebrew window did not show"
d=$(robot show --class MainWinHost) || fail "show rtl"
status=$(child "$d" 0); activity=$(child "$d" 2)
[ "$(geometry "$status")" = "122,20,340,18" ] || fail "right-to-left status geometry: $status"
[ "$(geometry "$activity")" = "70,20,46,13" ] || fail "right-to-left activity bar: $activity"
[ $(( $(printf '%s' "$status" | cut -d'|' -f4) & 0x2 )) -ne 0 ] || fail "status not right-aligned: $status"
[ $(( $(printf '%s' "$status" | cut -d'|' -f5) & 0x2000 )) -ne 0 ] || fail "status not right-to-left: $status"
# The listener hears the end of the loop.
notes=$(robot listen --class MainWinHost --message 1124 --notify 0x8124 --duration 9000) || fail "listen rtl"
printf '%s\n' "$notes" | grep -qx "note=43,0" || fail "no end notification: $notes"
finish rtl
tr -d '\r' <"$work/rtl.out" | grep -qx 'step-end window=1 folder=1' || fail "rtl step"
# ---- steps shown several at once end where single steps end ----
# Within the range the big bar lands on the step count and the activity bar on the
# count modulo its six positions; past the end of the range the bar wraps as it does.
for case in "50 50" "13 10"; do
  set -- $case
  start single "$MAINWIN_HOST" --steps "$1" --range "$2" --interval 1
  finish single
  start batched "$MAINWIN_HOST" --steps "$1" --range "$2" --interval 1 --batch 7
  finish batched
  one=$(value_of single bars) many=$(value_of batched bars)
  [ -n "$one" ] && [ "$one" = "$many" ] || fail "$1 steps in a range of $2: single $one, batched $many"
  [ "$1" -gt "$2" ] || [ "$one" = "$1,$(($1 % 6))" ] || fail "$1 single steps end at $one"
done
echo "main window: ok"

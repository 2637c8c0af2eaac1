#!/bin/sh
# The stub's message box under Wine, answered by the dialog robot: every button set
# by button and by key, the default button, timeouts, the text with its bold ranges,
# right-to-left layout, the AutoPlay answer and the shortcuts' headings and answers.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${MSGBOX_HOST:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
trap 'reap_all; rm -rf "$work"' EXIT

# Shows a box (host arguments after the title), waits until the robot sees it.
open_box() { # title host-args...
  title=$1
  shift
  start box "$MSGBOX_HOST" --title "$title" "$@"
  robot wait --class VMsgBox --title "$title" --timeout 30000 >/dev/null || fail "box '$title' did not appear"
}
# Waits for the box's program and compares its answer line.
answered() { # expected-line what
  finish box
  got=$(tr -d '\r' <"$work/box.out" | tail -1)
  [ "$got" = "$1" ] || fail "$2: expected $1, got $got"
}
press() { robot press --class VMsgBox --title "$1" "$2" "$3" >/dev/null || fail "press $2 $3 in '$1'"; }
keys() {
  t=$1
  shift
  robot keys --class VMsgBox --title "$t" "$@" >/dev/null || true  # the box may close midway
}

# ---- button sets: by button and by key ----
open_box "Set 0" --flags 0
d=$(robot show --class VMsgBox --title "Set 0")
[ "$(field "$d" buttons)" = 1 ] || fail "set 0 has one button"
press "Set 0" --index 0
answered result=1 "OK pressed"
open_box "Set 0 key" --flags 0
keys "Set 0 key" "{ENTER}"
answered result=1 "Enter on OK"

open_box "Set 1" --flags 1
press "Set 1" --button Cancel
answered result=2 "Cancel pressed"
open_box "Set 1 key" --flags 1
keys "Set 1 key" C
answered result=2 "key C"

open_box "Set 2" --flags 2
d=$(robot show --class VMsgBox --title "Set 2")
[ "$(field "$d" button.0 | cut -d' ' -f1)" = "&Abort" ] || fail "set 2 order"
[ "$(field "$d" button.2 | cut -d' ' -f1)" = "&Ignore" ] || fail "set 2 order"
press "Set 2" --button Retry
answered result=4 "Retry pressed"
open_box "Set 2 key" --flags 2
keys "Set 2 key" I
answered result=5 "key I"

# Yes/No/Cancel with the third button as default: it has the focus, Enter answers it.
open_box "Set 3" --flags 0x203
d=$(robot show --class VMsgBox --title "Set 3")
field "$d" button.2 | grep -q '^&Cancel default=1 focus=1' || fail "default button 3: $(field "$d" button.2)"
field "$d" button.0 | grep -q 'default=0 focus=0' || fail "only one default: $(field "$d" button.0)"
keys "Set 3" "{ENTER}"
answered result=2 "Enter on the default Cancel"
open_box "Set 3 key" --flags 3
keys "Set 3 key" Y
answered result=6 "key Y"

open_box "Set 4" --flags 4
keys "Set 4" N
answered result=7 "key N"
open_box "Set 4 esc" --flags 4
keys "Set 4 esc" "{ESC}"
answered result=0 "Escape closes without a choice"
open_box "Set 4 close" --flags 4
robot close --class VMsgBox --title "Set 4 close" >/dev/null
answered result=0 "closed by the caption"

open_box "Set 5" --flags 5
keys "Set 5" "{TAB}" "{ENTER}"
answered result=2 "Tab then Enter reaches Cancel"
open_box "Set 5 key" --flags 5
keys "Set 5 key" r
answered result=4 "key r"

# A button set outside the table: no buttons, and a timeout answers 0.
open_box "Set 7" --flags 7 --timeout 800
d=$(robot show --class VMsgBox --title "Set 7")
[ "$(field "$d" buttons)" = 0 ] || fail "set 7 has no buttons"
answered result=0 "timeout without buttons"

# ---- timeouts answer the first button ----
open_box "Timeout" --flags 4 --timeout 1500
answered result=6 "timeout of a Yes/No box"

# ---- text, bold ranges, layout ----
open_box "Text" --text 'Hello<P>the <B>bold</B> word and C:\Users\nina\temp'
d=$(robot show --class VMsgBox --title "Text")
[ "$(field "$d" text)" = 'Hello\nthe bold word and C:\\Users\\nina\\temp' ] || fail "text: $(field "$d" text)"
[ "$(field "$d" bold)" = "11-15" ] || fail "bold range: $(field "$d" bold)"
[ "$(field "$d" textclass)" = RICHEDIT ] || fail "text area class"
[ "$(field "$d" right)$(field "$d" rtlreading)" = 00 ] || fail "left-to-right text is not right-aligned"
width=$(field "$d" rect | cut -d, -f3)
[ "$width" -ge 360 ] || fail "box narrower than 360: $width"
cw=$(field "$d" client | cut -d, -f1); ch=$(field "$d" client | cut -d, -f2)
field "$d" button.0 | grep -q "rect=$((cw - 80)),$((ch - 29)),70,23" || fail "OK button place: $(field "$d" button.0)"
press "Text" --index 0
answered result=1 "text box"

# Without the rich-edit library the text still shows, in a read-only edit control.
export WINEDLLOVERRIDES="mscoree,mshtml,riched32="
start box "$MSGBOX_HOST" --title "Plain" --text 'One <B>two</B><P>three'
unset WINEDLLOVERRIDES
robot wait --class VMsgBox --title "Plain" --timeout 30000 >/dev/null || fail "the plain box did not appear"
d=$(robot show --class VMsgBox --title "Plain")
[ "$(field "$d" textclass)" = Edit ] || fail "no edit fallback: $(field "$d" textclass)"
[ "$(field "$d" text)" = 'One two\nthree' ] || fail "fallback text: $(field "$d" text)"
[ $(( $(field "$d" textstyle) & 0x800 )) -ne 0 ] || fail "fallback text area is not read-only"
press "Plain" --index 0
answered result=1 "edit fallback"

# A quit request reaching the box's loop ends the box without a choice; the quit
# goes on to the program.
open_box "Quit" --flags 4
robot post --class VMsgBox --title Quit --message 18 >/dev/null || fail "post WM_QUIT"
answered result=0 "quit while the box is up"

# ---- right to left (Hebrew charset) through the shortcut ----
open_box "Hebrew" --kind box --owner 1 --charset 177 --flags 4
d=$(robot show --class VMsgBox --title "Hebrew")
[ "$(field "$d" right)$(field "$d" rtlreading)" = 11 ] || fail "charset 177 is not right to left"
keys "Hebrew" N
answered result=7 "Hebrew box"

# ---- AutoPlay: the box cancels it while the extraction asks for disks ----
open_box "AutoPlay" --flags 1 --autoplay
[ "$(robot send --class VMsgBox --title AutoPlay --message QueryCancelAutoPlay)" = result=1 ] || fail "AutoPlay not cancelled"
press "AutoPlay" --index 0
answered result=1 "AutoPlay box"

# ---- shortcuts: heading, default titles and answers ----
open_box "Error" --kind error --owner 0 --title "" --text "Disk full"
d=$(robot show --class VMsgBox --title Error)
[ "$(field "$d" text)" = 'ERROR\n\nDisk full\n' ] || fail "error heading: $(field "$d" text)"
[ "$(field "$d" bold)" = "0-5" ] || fail "heading not bold: $(field "$d" bold)"
press Error --index 0
answered result=done "error box"

open_box "Setup" --kind yesno --owner 0 --text "Go on?"
d=$(robot show --class VMsgBox --title Setup)
field "$d" text | grep -q '^Setup\\n' || fail "a vendor title stays as written: $(field "$d" text)"
press Setup --button Yes
answered answer=1 "Yes"
open_box "Confirm" --kind yesno --owner 1 --title "" --text "Go on?"
d=$(robot show --class VMsgBox --title Confirm)
[ "$(field "$d" text)" = 'Go on?' ] || fail "owner 1 adds no heading: $(field "$d" text)"
keys Confirm "{ESC}"
answered answer=0 "Escape is No"
open_box "Insert" --kind okcancel --owner 0 --text "Please insert <B>DISK #2</B> and press OK to continue"
keys Insert C
answered answer=0 "Cancel"
echo "message box: ok"

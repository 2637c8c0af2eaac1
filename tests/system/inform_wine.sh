#!/bin/sh
# The inform dialog under Wine, read and answered by the dialog robot: the text shown
# from Rich Text Format, the button and its band, what the button opens (a stand-in
# browser registered for http and https records it), the addresses it refuses, the
# call without text, closing, two dialogs in one process, right to left, oversized
# windows and a quit request.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${INFORM_HOST:?}" "${URL_RECORDER:?}" "${VDEBUG_EXE:?}"
work=$(mktemp -d "${TMPDIR:-/tmp}/inform-wine.XXXXXX")
. "$(dirname "$0")/../support/robot-lib.sh"
trap '$run "$URL_RECORDER" --unregister >/dev/null 2>&1 || true; reap_all; rm -rf "$work"' EXIT

urls="$work/urls.txt"
: >"$urls"
# Started as a plain program (a refused address that got opened after all), the
# recorder writes to the same file.
URL_RECORDER_FILE=$(winpath "$urls")
export URL_RECORDER_FILE
recorder=$(winpath "$URL_RECORDER")
$run "$URL_RECORDER" --register "$(winpath "$urls")" >/dev/null 2>&1 || fail "could not register the recorder"
start_viewer

# Shows a dialog (host arguments after the caption) and waits until the robot sees it.
open_dialog() { # caption host-args...
  caption=$1
  shift
  start host "$INFORM_HOST" --caption "$caption" "$@"
  robot wait --class VRichEditBox --title "$caption" --timeout 30000 >/dev/null || fail "dialog '$caption' did not appear"
}
# Waits for the host and compares what it printed (all lines, CRs dropped).
printed() { # expected what
  finish host
  got=$(tr -d '\r' <"$work/host.out" | tr '\n' ' ')
  [ "$got" = "$1" ] || fail "$2: expected '$1', got '$got'"
}
show() { robot show --class VRichEditBox --title "$1"; }
press() {
  robot press --class VRichEditBox --title "$1" --index 0 >/dev/null || fail "press in '$1'"
  robot waitgone --class VRichEditBox --title "$1" --timeout 10000 >/dev/null || fail "'$1' did not close"
}
# Waits (at most 10 s) until the recorder has written n lines.
recorded() { # n
  i=0
  while [ "$(wc -l <"$urls")" -lt "$1" ]; do
    [ $i -lt 100 ] || fail "the recorder saw $(wc -l <"$urls") addresses, not $1: $(cat "$urls")"
    sleep 0.1
    i=$((i + 1))
  done
}
# Waits (at most 10 s) for a trace line with this text.
traced() { # text
  i=0
  until tr -d '\r' <"$work/trace.txt" | grep -qF "$1"; do
    [ $i -lt 100 ] || fail "no trace line with $1"
    sleep 0.1
    i=$((i + 1))
  done
}
printf '%s' '{\rtf1 Hello \b bold\b0 }' >"$work/rtf.txt"

# ---- refused addresses first: a launch they caused would show up among the later lines
for address in "$recorder" "file:///$(printf '%s' "$recorder" | tr '\\' /)" '\\host\share\setup.exe' notepad; do
  open_dialog "Refused" --text "Get the new version" --address "$address"
  d=$(show Refused)
  [ "$(field "$d" buttons)" = 1 ] || fail "$address: the button is missing"
  press Refused
  printed "result=1 " "$address: closed by the button"
  traced "refused to open \"$address\""
done
# Without text, a refused address is neither opened nor shown.
start host "$INFORM_HOST" --text "" --address " $recorder "
printed "result=0 " "no text, a program address"
traced "refused to open \"$recorder\""
start host "$INFORM_HOST" --text "" --address "  "
printed "result=0 " "no text, no address"
[ ! -s "$urls" ] || fail "a refused address was opened: $(cat "$urls")"

# ---- the dialog as built: Rich Text Format shown formatted, the button and its band
open_dialog "New Version" --text "@$(winpath "$work/rtf.txt")" --button "Get it" --address " http://example.com/new/setup.exe "
d=$(show "New Version")
[ "$(field "$d" textclass)" = RICHEDIT ] || fail "text class: $(field "$d" textclass)"
[ "$(field "$d" text)" = "Hello bold" ] || fail "RTF text: $(field "$d" text)"
[ "$(field "$d" bold)" = 6-10 ] || fail "RTF bold: $(field "$d" bold)"
[ "$(field "$d" right)$(field "$d" rtlreading)" = 00 ] || fail "left to right by default"
[ $(( $(field "$d" exstyle) & 0x1 )) -ne 0 ] || fail "no modal frame: $(field "$d" exstyle)"
[ $(( $(field "$d" style) & 0x10c80000 )) -eq $((0x10c80000)) ] || fail "style: $(field "$d" style)"
[ $(( $(field "$d" textstyle) & 0x50000804 )) -eq $((0x50000804)) ] || fail "text style: $(field "$d" textstyle)"
cw=$(field "$d" client | cut -d, -f1)
ch=$(field "$d" client | cut -d, -f2)
[ "$(field "$d" textrect)" = "3,0,$((cw - 3)),$((ch - 43))" ] || fail "text place: $(field "$d" textrect) in $cw x $ch"
field "$d" button.0 | grep -q "^Get it default=1 focus=1 rect=$(((cw - 160) / 2)),$((ch - 33)),160,25\$" ||
  fail "button: $(field "$d" button.0) in $cw x $ch"
press "New Version"
printed "result=1 " "closed by the button"
recorded 1
grep -q '"http://example.com/new/setup.exe"' "$urls" || fail "recorded: $(cat "$urls")"

# "www." gets "http://" in front.
open_dialog "Www" --address www.example.com
press Www
printed "result=1 " "www address"
recorded 2
tail -1 "$urls" | grep -q '"http://www.example.com"' || fail "www: $(tail -1 "$urls")"

# Without text an accepted address is opened at once, without a dialog.
start host "$INFORM_HOST" --text "" --address "https://example.com/info"
printed "result=1 " "no text, a web address"
recorded 3
tail -1 "$urls" | grep -q '"https://example.com/info"' || fail "https: $(tail -1 "$urls")"

# ---- no address: no button, the text fills the client area
open_dialog "Plain" --text "Just news"
d=$(show Plain)
[ "$(field "$d" buttons)" = 0 ] || fail "a button without an address"
cw=$(field "$d" client | cut -d, -f1)
ch=$(field "$d" client | cut -d, -f2)
[ "$(field "$d" textrect)" = "3,0,$((cw - 3)),$ch" ] || fail "text without band: $(field "$d" textrect)"
robot close --class VRichEditBox --title Plain >/dev/null || fail "close"
printed "result=1 " "closed by WM_CLOSE"

# ---- twice in one process: the class and the fonts are made anew for the second
open_dialog "Twice" --times 2 --address http://example.com/twice
# By handle: the second dialog, with the same title, may be up at once.
first=$(robot wait --class VRichEditBox --title Twice --timeout 30000 | tr -d '\r' | sed -n 's/^hwnd=//p')
[ -n "$first" ] || fail "the first dialog did not appear"
robot close --hwnd "$first" >/dev/null
robot waitgone --hwnd "$first" --timeout 10000 >/dev/null || fail "first of two did not close"
second=$(robot wait --class VRichEditBox --title Twice --timeout 30000 | tr -d '\r' | sed -n 's/^hwnd=//p')
[ -n "$second" ] && [ "$second" != "$first" ] || fail "the second dialog did not appear"
d=$(show Twice)
[ "$(field "$d" text)" = Hello ] && [ "$(field "$d" buttons)" = 1 ] || fail "second dialog: $d"
robot close --class VRichEditBox --title Twice >/dev/null
printed "result=1 result=1 " "two dialogs"

# ---- right to left
open_dialog "Rtl" --rtl
d=$(show Rtl)
[ "$(field "$d" right)$(field "$d" rtlreading)" = 11 ] || fail "right to left: $(field "$d" right)$(field "$d" rtlreading)"
robot close --class VRichEditBox --title Rtl >/dev/null
printed "result=1 " "right to left"

# ---- larger than the screen (1280 x 1024): kept on it; too small: the minimum
open_dialog "Huge" --width 5000 --height 9000
rect=$(field "$(show Huge)" rect)
IFS=, read -r x y w h <<EOF2
$rect
EOF2
[ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le 1280 ] && [ $((y + h)) -le 1024 ] || fail "not clamped: $rect"
robot close --class VRichEditBox --title Huge >/dev/null
printed "result=1 " "huge"
open_dialog "Tiny" --width 0 --height -4
rect=$(field "$(show Tiny)" rect)
[ "$(echo "$rect" | cut -d, -f3)" -ge 200 ] && [ "$(echo "$rect" | cut -d, -f4)" -ge 140 ] || fail "no minimum: $rect"
robot close --class VRichEditBox --title Tiny >/dev/null
printed "result=1 " "tiny"

# ---- a quit request ends the dialog and goes on to the program
open_dialog "Quit" --times 2
robot post --class VRichEditBox --title Quit --message 18 >/dev/null || fail "post WM_QUIT"
printed "result=0 quit=1 " "quit while the dialog is up"

[ "$(wc -l <"$urls")" -eq 3 ] || fail "unexpected addresses opened: $(cat "$urls")"
echo "inform dialog: ok"

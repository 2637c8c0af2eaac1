#!/bin/sh
# The agent's inform path with the real Stub.exe as "C:\agent dir\Agent.exe" against
# the vendor-server double: the inform file fetched from the update location, its
# Rich Text Format text shown in the inform dialog, whose button opens the vendor's
# web address (a stand-in browser records it) but never a file or network address;
# the version recorded once the user was told; an inform file of another product and
# inform file names that are no plain names refused; no text but an address: the
# address is opened at once.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${VDEBUG_EXE:?}"
: "${AGENT_CONTROLLER_EXE:?}" "${URL_RECORDER:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
. "$(dirname "$0")/../support/agent-lib.sh"
cleanup() {
  close_boxes
  stop_agents
  $run "$URL_RECORDER" --unregister >/dev/null 2>&1 || true
  reap_all
  stop_server
  rm -rf "$work" "$dir"
}
trap cleanup EXIT
rm -rf "$dir"
mkdir -p "$dir"

urls="$work/urls.txt"
: >"$urls"
URL_RECORDER_FILE=$(winpath "$urls")
export URL_RECORDER_FILE
$run "$URL_RECORDER" --register "$URL_RECORDER_FILE" >/dev/null 2>&1 || fail "could not register the recorder"

start_server
url="http://127.0.0.1:$port/vendor"
token=Secret42
pack_agent --info-location "$url" --token "$token"
# The token as the builder stores it (scrambled), as a vendor's inform file carries it.
scrambled_token() { # agent file
  $run "$STUBPACK_EXE" list --json --raw "$1" | tr -d '\r' |
    python3 -c 'import json, sys; print(json.load(sys.stdin)["packageHeader"]["raw"].split("|")[4])'
}
ours=$(scrambled_token "$dir/Agent.exe")
$run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$work/other.exe" --agent --agent-name Agent.exe \
  --info-file Agent.info --token "Another product" >"$work/pack.log" 2>&1 || fail "stubpack: $(cat "$work/pack.log")"
theirs=$(scrambled_token "$work/other.exe")
[ -n "$ours" ] && [ -n "$theirs" ] && [ "$ours" != "$theirs" ] || fail "no scrambled tokens: $ours $theirs"

# The inform file (token and text) in the vendor's folder, and the offer naming it.
inform_file() { # token text [file]
  printf 'Vendor|%s|b|c|%s' "$1" "$2" >"$work/srv/${3:-Inform.txt}"
}
offer() { # inform-file-name address [location]
  printf '[NewSetup]\r\nVersionNew=5\r\nStamp=1\r\nDownloadURL_UPDATE=%s\r\nProgramName=Demo App\r\n' "${3:-$url}"
  printf '[General]\r\nAutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=%s\r\nSizeOfInformFile=%s\r\n' \
    "$1" "$(stat -c %s "$work/srv/Inform.txt")"
  printf 'DownloadURL_INFORM=%s\r\nAutoInformW=420\r\nAutoInformH=300\r\n' "$2"
}
original() {
  printf '[OriginalSetup]\r\nVersionOriginal=4\r\nStamp=0\r\nProbeSecondsInterval=-1\r\nProgramName=Demo App\r\n'
  printf '[AutoUpdate]\r\ns34=Demo App news\r\ns35=Get it\r\n'
}
begin() { # inform-file-name address [location]
  offer "$@" >"$work/srv/Agent.info"
  original >"$dir/Agent.original"
  web log/clear >/dev/null
}
# The dialog as the robot sees it, then its button pressed.
dialog() { # what
  d=$(robot show --class VRichEditBox --title "Demo App news" --timeout 30000) || fail "$1: no inform dialog"
}
press_dialog() { # what
  robot press --class VRichEditBox --title "Demo App news" --index 0 >/dev/null || fail "$1: cannot press"
  robot waitgone --class VRichEditBox --title "Demo App news" --timeout 10000 >/dev/null || fail "$1: the dialog stayed"
}
recorded() { # n what: the stand-in browser has n lines
  i=0
  while [ "$(wc -l <"$urls")" -lt "$1" ]; do [ $i -lt 100 ] || fail "$2: recorded $(cat "$urls")"; sleep 0.1; i=$((i + 1)); done
}
told() { # what: the version is recorded with the offer
  ended "$1"
  [ "$result" = TRUE ] || fail "$1: result $result"
  [ "$(setting VersionOriginal)" = 5 ] || fail "$1: VersionOriginal $(setting VersionOriginal)"
  [ "$(setting Stamp)" = 1 ] && [ -n "$(setting ReAskSecondsLast)" ] || fail "$1: the offer was not recorded"
}
not_told() { # what
  ended "$1"
  [ "$result" = FALSE ] || fail "$1: result $result"
  [ "$(setting VersionOriginal)" = 4 ] || fail "$1: VersionOriginal $(setting VersionOriginal)"
  [ "$(setting Stamp)" = 0 ] && [ -z "$(setting ReAskSecondsLast)" ] || fail "$1: the offer was recorded"
  ! robot wait --class VRichEditBox --timeout 300 >/dev/null || fail "$1: a dialog"
}
recover() {
  close_boxes
  stop_agents
  new_transient plain
}

start_viewer
inform_file "$ours" 'news'
begin Inform.txt http://example.com/get
original >"$dir/Agent.original"
new_transient plain

# The text from the update location, shown formatted; the button opens the web address.
case_shown() {
  inform_file "$ours" '{\rtf1 Version 5 is \b out\b0 .}'
  begin Inform.txt ' http://example.com/get/demo '
  fire "shown"
  dialog "shown"
  [ "$(field "$d" text)" = "Version 5 is out." ] || fail "shown: text $(field "$d" text)"
  [ "$(field "$d" bold)" = 13-16 ] || fail "shown: bold $(field "$d" bold)"
  field "$d" button.0 | grep -q '^Get it ' || fail "shown: button $(field "$d" button.0)"
  press_dialog "shown"
  told "shown"
  recorded 1 "shown"
  grep -q '"http://example.com/get/demo"' "$urls" || fail "shown: opened $(cat "$urls")"
  web log | grep -q '^GET /vendor/Inform.txt$' || fail "shown: fetched $(web log)"
}
run_case shown case_shown

# A file or network address is never opened; the user was told all the same.
case_refused_address() {
  for address in 'file:///C:/windows/notepad.exe' '\\host\share\setup.exe'; do
    inform_file "$ours" 'Version 5 is out.'
    begin Inform.txt "$address"
    seen=$(wc -l <"$urls")
    r=$(trace | grep -cF "refused to open" || true)
    fire "address $address"
    dialog "address $address"
    press_dialog "address $address"
    told "address $address"
    [ "$(wc -l <"$urls")" = "$seen" ] || fail "address $address: opened $(tail -1 "$urls")"
    [ "$(trace | grep -cF "refused to open \"$address\"")" -gt 0 ] && [ "$(trace | grep -cF "refused to open")" -gt "$r" ] ||
      fail "address $address: not traced as refused"
  done
}
run_case refused_address case_refused_address

# No text but a web address: the address is opened at once, without a dialog.
case_no_text() {
  inform_file "$ours" ''
  begin Inform.txt http://example.com/only
  seen=$(wc -l <"$urls")
  fire "no text"
  told "no text"
  recorded $((seen + 1)) "no text"
  tail -1 "$urls" | grep -q '"http://example.com/only"' || fail "no text: opened $(tail -1 "$urls")"
}
run_case no_text case_no_text

case_other_product() {
  inform_file "$theirs" 'Version 5 is out.'
  begin Inform.txt http://example.com/get
  fire "other product"
  box_is Error 'Bad Secret Token!' heading 1 "other product"
  answer Error press --button OK
  not_told "other product"
  [ ! -e "$dir/Inform.txt" ] || fail "other product: the inform file was kept"
}
run_case other_product case_other_product

# Names that are no plain names or the agent's own files: nothing is fetched. The
# vendor's folder has a file for each last element.
case_hostile_names() {
  inform_file "$ours" 'Version 5 is out.'
  mkdir -p "$work/srv/pkg"
  for f in Inform.txt Agent.original X_Agent.exe; do cp "$work/srv/Inform.txt" "$work/srv/pkg/$f"; done
  for name in '..\Inform.txt' 'C:\agent dir\Inform.txt' Agent.original X_Agent.exe; do
    begin "$name" http://example.com/get "$url/pkg"
    fire "name $name"
    not_told "name $name"
    logged "ERROR: not a plain file name: $name" || fail "name $name: $(log_new | tail -3)"
    ! web log | grep -q '^GET /vendor/pkg/' || fail "name $name: fetched $(web log | grep '^GET')"
    ! cmp -s "$dir/Agent.original" "$work/srv/Inform.txt" || fail "name $name: Agent.original replaced"
  done
}
run_case hostile_names case_hostile_names

close_boxes
stop_agents
cases_result

#!/bin/sh
# The transient agent's probes with the real Stub.exe against the vendor-server double
# (the test HTTP server's /vendor route): each decision code in turn, the times the
# agent records, what it keeps of a failed fetch, a user's check-now with its question
# and answer boxes, a fetch-only request, the probe intervals, test mode from the
# registry, and a stop that arrives while a slow probe runs.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${VDEBUG_EXE:?}"
: "${AGENT_CONTROLLER_EXE:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
. "$(dirname "$0")/../support/agent-lib.sh"
cleanup() {
  stop_agents
  test_mode off
  reap_all
  stop_server
  rm -rf "$work" "$dir" "$prefix/drive_c/agent test"
}
trap cleanup EXIT
rm -rf "$dir"
mkdir -p "$dir" "$work/srv"

start_server
head -c 1000000 /dev/urandom >"$work/srv/Update.exe"
offer() { # VersionNew Stamp SizeOfUpdateFile [more lines]: the vendor's information file
  printf '[NewSetup]\r\nVersionNew=%s\r\nStamp=%s\r\nDownloadURL_UPDATE=http://127.0.0.1:%s/vendor\r\nNameOfUpdateFile=Update.exe\r\nSizeOfUpdateFile=%s\r\n%b' \
    "$1" "$2" "$port" "$3" "${4:-}" >"$work/srv/Agent.info"
}
original() { # VersionOriginal Stamp [more [OriginalSetup] lines]; $interval: the probe interval (-1)
  printf '[OriginalSetup]\r\nVersionOriginal=%s\r\nStamp=%s\r\nProbeSecondsInterval=%s\r\nProgramName=Demo App\r\n%b[AutoUpdate]\r\ns2=No connection.\r\ns21=No new version of PROG_NAME.\r\ns22=Check for PROG_NAME now?\r\ns24=<P>Go on?\r\n' \
    "$1" "$2" "${interval:--1}" "${3:-}" >"$dir/Agent.original"
}
reason_of() {
  case $1 in
  0) echo 'Error downloading .INFO file' ;; 1) echo 'Error reading .ORIGINAL file' ;;
  2) echo 'Too early for retesting' ;; 3) echo 'New version is not higher then old version' ;;
  4) echo '"Valid for version" mismatch' ;; 5) echo 'Download file size error' ;; 6) echo 'OK' ;;
  esac
}
# Forces a probe of the running agent and checks its decision in the trace and the log.
probe() { # code what
  n=$(count_lines "$x" "^$x GetOkToPerformAU=")
  controller ask "$class" 31:1 >/dev/null || fail "request 31 ($2)"
  wait_more "$x" "^$x GetOkToPerformAU=" "$n" "no probe ($2)"
  got=$(lines_of "$x" | grep "^$x GetOkToPerformAU=" | tail -1 | sed 's/.*=//')
  [ "$got" = "$1" ] || fail "$2: code $got, expected $1"
  i=0
  until [ "$(grep -c 'GetOkToPerformAU = ' "$dir/X_Agent.log")" -gt "$logged" ]; do
    [ $i -lt 100 ] || fail "$2: no log line"; sleep 0.1; i=$((i + 1))
  done
  logged=$(grep -c 'GetOkToPerformAU = ' "$dir/X_Agent.log")
  line=$(tr -d '\r' <"$dir/X_Agent.log" | sed -n 's/.*GetOkToPerformAU = //p' | tail -1)
  [ "$line" = "$1 - $(reason_of "$1")" ] || fail "$2: the log says $line"
}

pack_agent --info-location "http://127.0.0.1:$port/vendor"
export DVX=739  # developer mode: the check-now answer names the code
start_viewer
original 4 0
offer 5 1 1000000
printf '[NewSetup]\r\nVersionNew=1\r\n' >"$dir/Agent.info"
old_info=$(cat "$dir/Agent.info")
new_transient plain
logged=0

# ---- each decision code ----
web vendor-fault/status/404 >/dev/null
probe 0 "a 404 page"
[ "$(cat "$dir/Agent.info")" = "$old_info" ] || fail "a 404 page replaced the information file"
web vendor-fault/none >/dev/null
stop_server
probe 0 "server down"
start_server "$port"
original 0 0
probe 1 "no original version"
original 4 1
probe 2 "the offer was taken and no re-ask interval"
original 5 0
probe 3 "not newer"
original 4 0
offer 5 1 1000000 'ValidVersions=3,45\r\n'
probe 4 "not valid for version 4"
offer 5 1 1000100
probe 5 "announced 100 bytes more"
tr -d '\r' <"$dir/X_Agent.log" | tail -6 | grep -q "  URL=http://127.0.0.1:$port/vendor/Update.exe" || fail "no size lines"
offer 5 1 999901 'RequestConfirmationBeforeDownload=1\r\n'
probe 6 "announced 99 bytes less"
cmp -s "$work/srv/Agent.info" "$dir/Agent.info" || fail "the fetched information file was not kept"
# The user declines the download: the offer was acted upon, so it is recorded and the
# same offer waits for its re-ask time.
answer Confirm press --button No
wait_lines "$x" "^$x ==== PerformShot-2 ====" "the declined offer did not end its probe"
tr -d '\r' <"$dir/Agent.original" >"$work/original.txt"
grep -q '^Stamp=1$' "$work/original.txt" || fail "the stamp was not recorded: $(cat "$work/original.txt")"
grep -q '^ReAskSecondsLast=[0-9]' "$work/original.txt" || fail "no ReAskSecondsLast"
grep -q '^__ProbeSecondsLast=[0-9][0-9]-[A-Z][A-Z][A-Z]-20[0-9][0-9] ' "$work/original.txt" || fail "no readable probe time"
probe 2 "the same offer again"
# A connection that drops keeps the copy of the last good fetch.
kept=$(cat "$dir/Agent.info")
offer 7 2 1000000
web vendor-fault/drop/20 >/dev/null
probe 0 "a dropped connection"
[ "$(cat "$dir/Agent.info")" = "$kept" ] || fail "a broken fetch replaced the information file"
web vendor-fault/none >/dev/null

# ---- request 32 only fetches ----
web log/clear >/dev/null
n=$(count_lines "$x" "^$x GetOkToPerformAU=")
controller ask "$class" 32 >/dev/null
wait_lines "$x" "^$x -------------- JustDownloadInfoFile" "request 32 did nothing"
i=0
until web log | grep -q '^GET /vendor/Agent.info'; do [ $i -lt 100 ] || fail "request 32 fetched nothing"; sleep 0.1; i=$((i + 1)); done
i=0
until cmp -s "$work/srv/Agent.info" "$dir/Agent.info"; do [ $i -lt 100 ] || fail "request 32 did not keep the file"; sleep 0.1; i=$((i + 1)); done
[ "$(count_lines "$x" "^$x GetOkToPerformAU=")" = "$n" ] || fail "request 32 decided"

# ---- check-now: the question, then why nothing happened; requests still answered ----
original 7 2
controller ask "$class" 20:1 31:2 >/dev/null
text=$(box_text Confirm)
printf '%s' "$text" | grep -q 'Check for Demo App now?' || fail "check question: $text"
answer Confirm press --button Yes
text=$(box_text Attention)
printf '%s' "$text" | grep -q 'No new version of Demo App\.' || fail "check-now answer: $text"
printf '%s' "$text" | grep -Fq '(3 - New version is not higher then old version)' || fail "no code in developer mode: $text"
controller ask "$class" 4 7 >"$work/ask.out" || fail "no answer while a box is open"
grep -qx 'result.4=7' "$work/ask.out" || fail "request 4 while a box is open: $(cat "$work/ask.out")"
grep -qx 'result.7=1' "$work/ask.out" || fail "request 7 while fetching: $(cat "$work/ask.out")"
answer Attention press --button OK
web vendor-fault/status/404 >/dev/null
# A check-now always asks first, whatever override 0 says.
controller ask "$class" 20:0 31:2 >/dev/null
answer Confirm press --button Yes
text=$(box_text Error)
printf '%s' "$text" | grep -q '404 File Not Found' || fail "check-now with a 404: $text"
answer Error press --button OK
web vendor-fault/none >/dev/null
# Override 0 asks before a timed or forced probe too; a No means no probe at all.
n=$(count_lines "$x" "^$x Fire ")
controller ask "$class" 20:1 31:1 >/dev/null
answer Confirm press --button No
controller ask "$class" 20:0 >/dev/null
t=$(count_lines "$x" "^$x AutoUpdateTimerCount=")
wait_more "$x" "^$x AutoUpdateTimerCount=" "$t" "no tick after the question"
[ "$(count_lines "$x" "^$x Fire ")" = "$n" ] || fail "a No to the question still probed"

# ---- a stop during a slow probe ends the agent ----
web vendor-fault/trickle/16/300 >/dev/null
n=$(count_lines "$x" "^$x DownloadFileAU: ")
controller ask "$class" 31:1 >/dev/null
wait_more "$x" "^$x DownloadFileAU: " "$n" "no slow probe"
controller stop "$class" 0 || fail "cannot stop during the probe"
wait_gone "$x"
web vendor-fault/none >/dev/null

# ---- probe intervals: 0 once per run, -1 never, a positive one per period ----
fires() { lines_of "$x" | grep "^$x Fire " | sed 's/.* Fire  //'; }
run_ticks() { # interval original-lines ticks: start with /DELAY=0 and let it tick
  interval=$1 original 7 2 "$2"
  shift
  new_transient plain /DELAY=0
  wait_lines "$x" "^$x AutoUpdateTimerCount=$2$" "the agent did not reach tick $2" 60
}
run_ticks 0 '' 4
[ "$(fires | wc -l)" = 1 ] || fail "interval 0 probed $(fires | wc -l) times"
lines_of "$x" | grep -q "^$x AutoUpdateTimerCount=1$" || fail "/DELAY=0 did not start the count at 1"
stop_agents
run_ticks -1 '' 4
[ "$(fires | wc -l)" = 0 ] || fail "interval -1 probed"
stop_agents
run_ticks 2 "ProbeSecondsLast=$(( $(now_seconds) - 3 ))\r\n" 1
wait_more "$x" "^$x Fire " 2 "interval 2 did not probe three times"
fires | python3 -c '
import sys, datetime
t = [datetime.datetime.strptime(l.strip().title(), "%d-%b-%Y %H:%M:%S") for l in sys.stdin if l.strip()]
gaps = [(b - a).total_seconds() for a, b in zip(t, t[1:])]
sys.exit(0 if gaps and min(gaps) >= 2 else "gaps %s" % gaps)' || fail "interval 2: probes closer than 2 s"
stop_agents

# ---- test mode: the folder source, 5 s, the note; nothing asked of the server ----
testdir="$prefix/drive_c/agent test"
mkdir -p "$testdir"
offer 5 3 1000000 'RequestConfirmationBeforeDownload=1\r\n'
cp "$work/srv/Agent.info" "$work/srv/Update.exe" "$testdir/"
test_mode 'C:\agent test'
web log/clear >/dev/null
interval=86400 original 4 0 "ProbeSecondsLast=$(( $(now_seconds) - 4 ))\r\n"
new_transient plain /DELAY=0
wait_more "$x" "^$x GetOkToPerformAU=" 0 "no probe in test mode" 
lines_of "$x" | grep -q "^$x GetOkToPerformAU=6$" || fail "test mode: $(lines_of "$x" | grep GetOkToPerformAU)"
lines_of "$x" | grep -Fq " DownloadFileAU: C:\\agent test\\Agent.info" || fail "test mode did not read the test folder"
answer Confirm press --button No  # the offer is declined, so the next probe is too early
wait_more "$x" "^$x Fire " 1 "no second probe 5 s later in test mode"
fires | python3 -c '
import sys, datetime
t = [datetime.datetime.strptime(l.strip().title(), "%d-%b-%Y %H:%M:%S") for l in sys.stdin if l.strip()]
sys.exit(0 if len(t) >= 2 and (t[1] - t[0]).total_seconds() >= 5 else "times %s" % t)' || fail "test mode: not 5 s apart"
controller ask "$class" 20:1 31:2 >/dev/null
text=$(box_text Confirm)
printf '%s' "$text" | grep -q 'You are now running in Test Mode' || fail "no test-mode note: $text"
answer Confirm press --button No
[ -z "$(web log)" ] || fail "test mode asked the server: $(web log)"
stop_agents
echo ok

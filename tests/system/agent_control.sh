#!/bin/sh
# The agent's plumbing with the real Stub.exe as agent file: the plain agent writes and
# starts its transient copy "X_Agent.exe", hands its control switches on and ends; the
# transient agent answers the control message, tells a listener, stops when told and
# deletes itself. The agent lives in a folder with a blank, beside a planted program
# that an unquoted start would run instead.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${VDEBUG_EXE:?}"
: "${AGENT_CONTROLLER_EXE:?}" "${ENGINE_DOUBLE_EXE:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
. "$(dirname "$0")/../support/agent-lib.sh"
cleanup() {
  stop_agents
  reap_all
  rm -rf "$work" "$dir" "$prefix/drive_c/agent.exe"
}
trap cleanup EXIT
rm -rf "$dir"
mkdir -p "$dir"

ENGINE_DOUBLE_REPORT="$(winpath "$work")\\planted.txt"
export ENGINE_DOUBLE_REPORT
cp "$ENGINE_DOUBLE_EXE" "$prefix/drive_c/agent.exe"
# The information file's location answers nothing: probes end with code 0.
pack_agent --info-location http://127.0.0.1:9/none
printf '[OriginalSetup]\r\nVersionOriginal=7\r\nProbeSecondsInterval=-1\r\n' >"$dir/Agent.original"
printf '[NewSetup]\r\nVersionNew=9\r\n' >"$dir/Agent.info"
start_viewer

# Ticks of a pid between its stop message and its end.
ticks_after_stop() { # pid
  lines_of "$1" | sed -n "/^$1 wm_ShutDown/,/^$1 ==== the stop count has run out/p" | grep -c "^$1 AutoUpdateTimerCount=" || true
}
temp_before=$(temp_dirs)

# ---- start: the plain agent writes the copy, starts it and ends ----
new_transient plain
lines_of "$x" | grep -q "^$x ==== STUB START ====> \"C:\\\\agent dir\\\\X_Agent.exe\"<" || fail "the copy got switches: $(trace | grep "^$x ==== STUB START")"
tr -d '\r' <"$dir/X_Agent.log" >"$work/log.txt"
grep -q 'Create X_ File' "$work/log.txt" || fail "no copy in the log"
grep -q 'WinExec: C:\\agent dir\\X_Agent.exe$' "$work/log.txt" || fail "start line: $(grep WinExec "$work/log.txt")"
# A second start finds the running copy and writes nothing.
plain
[ "$(grep -c 'Create X_ File' "$dir/X_Agent.log")" = 1 ] || fail "a running copy was written again"

# ---- every request type ----
today=$(python3 -c 'import datetime as d; print(int((d.datetime.now() - d.datetime(1899, 12, 30)).total_seconds()))')
controller ask "$class" 4 5 7 8 9 6 16 14:"$today" 10 15:"$today" 11 12:-1 8 13:3600 9 >"$work/ask.out" ||
  fail "requests: $(cat "$work/ask.out")"
expect() { grep -qx "$1" "$work/ask.out" || fail "expected $1: $(tr '\n' ' ' <"$work/ask.out")"; }
expect result.4=7
expect result.5=9
expect result.7=0
expect result.6=0
expect result.16=0
expect "result.10=$today"
expect "result.11=$today"
expect result.8=4294967295
expect result.9=3600
grep -q '^__ProbeSecondsLast=' "$dir/Agent.original" || fail "no readable probe time: $(cat "$dir/Agent.original")"
controller ask "$class" 20:2 21:0 22:1 23:0 24:1 25:0 >/dev/null || fail "override requests"
wait_lines "$x" "^$x overrides \\|2\\|0\\|1\\|0\\|1\\|0\\|255\\|255\\|" "override requests did not arrive"
controller ask "$class" 31:1 >/dev/null || fail "request 31"
wait_lines "$x" "^$x GetOkToPerformAU=0" "the forced probe did not run"

# ---- listeners: the agent's window and its request message, then the loop end ----
start listener "$AGENT_CONTROLLER_EXE" listen "$(winpath "$work")\\listener.ready" 60
start refused "$AGENT_CONTROLLER_EXE" listen "$(winpath "$work")\\refused.ready" 60
i=0
until [ -f "$work/listener.ready" ] && [ -f "$work/refused.ready" ]; do
  [ $i -lt 300 ] || fail "no listener windows"; sleep 0.1; i=$((i + 1))
done
hwnd=$(tr -d '\r' <"$work/listener.ready" | sed -n 's/^hwnd=//p')
refused=$(tr -d '\r' <"$work/refused.ready" | sed -n 's/^hwnd=//p')
plain "/WM_MSG=$hwnd:49152"
plain "/WM_MSG=$refused:16"
i=0
until grep -q '^note=51,1125' "$work/listener.out"; do [ $i -lt 100 ] || fail "no notifications"; sleep 0.1; i=$((i + 1)); done
agent_hwnd=$(controller window "$class" | sed -n 's/^hwnd=//p')
tr -d '\r' <"$work/listener.out" | grep -qx "note=50,$agent_hwnd" || fail "note 50 is not the agent's window $agent_hwnd: $(cat "$work/listener.out")"
grep -q 'not a listener window and message' "$dir/X_Agent.log" || fail "WM_CLOSE as a listener message was not refused"

# ---- /STOP=2: the third tick ends the agent; the listener hears the loop end ----
plain /STOP=2
wait_gone "$x"
[ "$(ticks_after_stop "$x")" = 2 ] || fail "/STOP=2 ended after $(ticks_after_stop "$x") more ticks"
i=0
until grep -q '^note=43,0' "$work/listener.out"; do [ $i -lt 100 ] || fail "no loop-end notification"; sleep 0.1; i=$((i + 1)); done
[ ! -s "$work/refused.out" ] || fail "a refused listener was told: $(cat "$work/refused.out")"
kill "$pid_refused" 2>/dev/null || true

# ---- /TEST=1 with no agent running: the request, then the stop two ticks after it ----
new_transient plain /TEST=1
wait_lines "$x" "^$x GetOkToPerformAU=0" "/TEST=1 did not reach the new copy"
wait_gone "$x"
lines_of "$x" | grep -q "^$x wm_ShutDown (2)" || fail "/TEST=1 did not stop the copy it started"

# ---- /STOP=0: the next tick ends it ----
new_transient plain
wait_lines "$x" "^$x AutoUpdateTimerCount=" "the copy does not tick"
plain /STOP=0
wait_gone "$x"
[ "$(ticks_after_stop "$x")" = 0 ] || fail "/STOP=0 ended after $(ticks_after_stop "$x") more ticks"

# ---- /DELAY= and /TRANSIENT= reach the copy; a restart with /_ZZ=99 /WAIT= replaces it ----
list='|1|0|1|0|1|0|1|0|'
new_transient plain "/DELAY=5" "/TRANSIENT=$list"
lines_of "$x" | grep "^$x ==== STUB START" | grep -Fq "X_Agent.exe\" /TRANSIENTx=$list /SleepX=5<" ||
  fail "the copy's switches: $(trace | grep "^$x ==== STUB START")"
wait_lines "$x" "^$x overrides \\|1\\|0\\|1\\|0\\|1\\|0\\|1\\|0\\|" "the copy did not take the override list"
wait_lines "$x" "^$x AutoUpdateTimerCount=-4$" "the first tick of /SleepX=5 is not -4"
list2='|0|1|0|1|0|1|0|1|'
old=$x
n=$(starts)
start restart "$dir/Agent.exe" /_ZZ=99 /WAIT=1 "/TRANSIENT=$list2"
sleep 2
controller stop "$class" 0 || fail "cannot stop the old copy"
finish restart
i=0
until [ "$(starts)" -gt "$n" ]; do [ $i -lt 300 ] || fail "no new copy after the restart"; sleep 0.1; i=$((i + 1)); done
y=$(transient_pid)
wait_lines "$y" "^$y overrides \\|0\\|1\\|0\\|1\\|0\\|1\\|0\\|1\\|" "the restarted copy lost the override list"
# The old copy ended before the new one started.
trace | awk -v o="$old" -v n="$n" '
  /^[0-9]+ ==== STUB START ====> "C:.agent dir.X_Agent\.exe"/ {c++; if (c == n && $1 == o) a = 1; if (c == n + 1) b = NR}
  a && !e && $1 == o && /STUB END/ {e = NR}
  END {exit !(e && b && e < b)}' || fail "the new copy started before the old one ended"
controller stop "$class" 0 || fail "cannot stop the new copy"
wait_gone "$y"

[ ! -f "$work/planted.txt" ] || fail "the planted C:\\agent.exe ran: $(cat "$work/planted.txt")"
[ "$(temp_dirs)" = "$temp_before" ] || fail "temp folders changed: $(temp_dirs)"
echo ok

# Shell helpers of the agent tests: an agent file "C:\agent dir\Agent.exe" in the test
# prefix, its trace lines through the debug viewer, its transient copies by process id
# (Wine reuses ids: every look at a process's lines starts at its own start line), and
# the controller double. Needs what robot-lib.sh needs plus STUB_EXE, STUBPACK_EXE,
# VDEBUG_EXE and AGENT_CONTROLLER_EXE; source robot-lib.sh first.
prefix="$WINE_ENV/prefix"
dir="$prefix/drive_c/agent dir"
class=.AutoUpdate.X_Agent

# Writes the agent file; extra stubpack arguments follow (--info-location ...).
pack_agent() {
  $run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$dir/Agent.exe" --agent --agent-name Agent.exe --agent-log \
    --info-file Agent.info "$@" >"$work/pack.log" 2>&1 || fail "stubpack: $(cat "$work/pack.log")"
}
controller() { $run "$AGENT_CONTROLLER_EXE" "$@" | tr -d '\r'; }
# Ends a transient agent that still runs (at its next tick) and waits for its file to go.
stop_agents() {
  [ -f "$dir/X_Agent.exe" ] || return 0
  $run "$AGENT_CONTROLLER_EXE" stop "$class" 0 >/dev/null 2>&1 || true
  i=0
  while [ -f "$dir/X_Agent.exe" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
}

trace() { tr -d '\r' <"$work/trace.txt"; }
wait_trace() { # pattern what
  i=0
  until trace | grep -Eq "$1"; do [ $i -lt 300 ] || fail "$2"; sleep 0.1; i=$((i + 1)); done
}
plain() { $run "$dir/Agent.exe" "$@" >/dev/null 2>&1 || fail "Agent.exe $* exited with $?"; }
x_start='==== STUB START ====> "C:\\agent dir\\X_Agent.exe"'
transient_pid() { trace | grep -E "^[0-9]+ $x_start" | tail -1 | cut -d' ' -f1; }
starts() { trace | grep -cE "^[0-9]+ $x_start" || true; }
# Runs a command that starts a new transient agent; x is then the new agent's pid.
new_transient() { # command...
  n=$(starts)
  "$@"
  i=0
  until [ "$(starts)" -gt "$n" ]; do [ $i -lt 300 ] || fail "no new transient agent after $*"; sleep 0.1; i=$((i + 1)); done
  x=$(transient_pid)
}
lines_of() { # pid: the lines of that process since its latest start
  trace | awk -v p="$1" '$1 == p && index($0, "STUB START") {n = NR; out = ""} n {out = out $0 "\n"} END {printf "%s", out}' |
    grep "^$1 " || true
}
count_lines() { lines_of "$1" | grep -cE "$2" || true; }
wait_lines() { # pid pattern what [seconds]
  i=0
  until lines_of "$1" | grep -Eq "$2"; do [ $i -lt "${4:-30}0" ] || fail "$3"; sleep 0.1; i=$((i + 1)); done
}
# Waits until more lines of the pid match the pattern than the given count.
wait_more() { # pid pattern count what
  i=0
  until [ "$(count_lines "$1" "$2")" -gt "$3" ]; do [ $i -lt 300 ] || fail "$4"; sleep 0.1; i=$((i + 1)); done
}
# Waits until the transient agent of that pid has ended and its file is gone.
wait_gone() { # pid
  wait_lines "$1" "^$1 ==== STUB END" "the transient agent $1 did not end"
  i=0
  while [ -f "$dir/X_Agent.exe" ]; do [ $i -lt 300 ] || fail "X_Agent.exe was not deleted"; sleep 0.1; i=$((i + 1)); done
}
# A failure shows the newest trace lines too.
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  [ -f "$work/trace.txt" ] && { echo "--- trace (last lines)" >&2; tr -d '\r' <"$work/trace.txt" | grep -v '^$' | tail -40 >&2; }
  exit 1
}

# ---- the vendor's server: the test HTTP server over $work/srv ----
server=""
start_server() { # [port]
  mkdir -p "$work/srv"
  rm -f "$work/port"
  python3 "$here/tests/support/http_server.py" --root "$work/srv" --port-file "$work/port" ${1:+--port "$1"} \
    >"$work/server.log" 2>&1 &
  server=$!
  i=0
  until [ -s "$work/port" ]; do [ $i -lt 100 ] || fail "the server did not start"; sleep 0.1; i=$((i + 1)); done
  port=$(cat "$work/port")
}
stop_server() { [ -z "$server" ] || { kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; server=""; }; }
web() { curl -s "http://127.0.0.1:$port/$1"; }
# Seconds values as the agent computes them (local time).
now_seconds() { python3 -c 'import datetime as d; print(int((d.datetime.now() - d.datetime(1899, 12, 30)).total_seconds()))'; }

# ---- test mode: on for today with a folder as the source of every agent file, or off
testkey='HKCU\Software\Dravonel\Vabrix\AutoUpdate'
test_mode() { # "C:\folder" | off
  if [ "$1" = off ]; then
    $run reg delete "$testkey" /f >/dev/null 2>&1 || true
    return 0
  fi
  today=$(python3 -c 'import datetime; print(datetime.date.today().strftime("%d-%b-%Y").upper())')
  $run reg add "$testkey" /v TestMode /d 1 /f >/dev/null 2>&1 || fail "reg add"
  $run reg add "$testkey" /v TestModeDate /d "$today" /f >/dev/null 2>&1 || fail "reg add"
  $run reg add "$testkey" /v TestModeURL /d "$1" /f >/dev/null 2>&1 || fail "reg add"
}

# ---- the agent's message boxes (the stub's own box, class VMsgBox) ----
answer() { # title robot-action...
  title=$1
  shift
  box=$(robot wait --class VMsgBox --title "$title" --timeout 30000 | tr -d '\r' | sed -n 's/^hwnd=//p')
  [ -n "$box" ] || fail "no '$title' box"
  robot "$@" --hwnd "$box" >/dev/null || fail "cannot answer '$title'"
  # This box by its handle: the agent may show the next one with the same title at once.
  robot waitgone --hwnd "$box" --timeout 10000 >/dev/null || fail "the '$title' box stayed"
}
# Box texts: owner 0 puts the title in bold in front, owners 1 and 2 do not.
headed() { case "$1" in "$2"*) return 0 ;; *) return 1 ;; esac; }
box_is() { # title text-part heading|plain buttons what
  d=$(robot show --class VMsgBox --title "$1" --timeout 30000) || fail "$5: no '$1' box"
  t=$(field "$d" text)
  printf '%s' "$t" | grep -Fq -- "$2" || fail "$5: '$1' box says: $t"
  up=$(printf '%s' "$1" | tr a-z A-Z)
  if [ "$3" = heading ]; then headed "$t" "$up" || fail "$5: no heading: $t"; else ! headed "$t" "$up" || fail "$5: a heading: $t"; fi
  [ "$(field "$d" buttons)" = "$4" ] || fail "$5: '$1' box with $(field "$d" buttons) buttons"
}
# Closes every box and dialog still open (a few rounds: a box may come back), so that
# a busy agent gets to its next tick.
close_boxes() {
  for c in VMsgBox VRichEditBox; do
    k=0
    while [ $k -lt 10 ] && robot close --class "$c" --timeout 200 >/dev/null 2>&1; do sleep 0.2; k=$((k + 1)); done
  done
}

# ---- the update log of the transient agent, read from a mark on ----
agent_log() { tr -d '\r' <"$dir/X_Agent.log" 2>/dev/null || true; }
log_mark() { mark=$(agent_log | wc -l); }
log_new() { agent_log | tail -n +$((mark + 1)); }
logged() { log_new | grep -Fq -- "$1"; } # text: in the log since the mark
wait_log() { # pattern what [seconds]
  i=0
  until log_new | grep -Eq -- "$1"; do [ $i -lt "${3:-30}0" ] || fail "$2"; sleep 0.1; i=$((i + 1)); done
}
# A key of the original-settings file as it is now.
setting() { tr -d '\r' <"$dir/Agent.original" | sed -n "s/^$1=//p" | head -1; }

# ---- one forced probe and its decision ----
# Forces a probe from a new mark in the update log; it must decide this code, and the
# log line must give this reason when one is named.
probe_decides() { # what code [reason] [request]
  log_mark
  n=$(count_lines "$x" "^$x GetOkToPerformAU=")
  s=$(count_lines "$x" "^$x ==== PerformShot-2 ====")
  controller ask "$class" "${4:-31:1}" >/dev/null || fail "$1: request 31"
  wait_more "$x" "^$x GetOkToPerformAU=" "$n" "$1: no probe"
  got=$(lines_of "$x" | grep "^$x GetOkToPerformAU=" | tail -1 | sed 's/.*=//')
  [ "$got" = "$2" ] || fail "$1: decision $got"
  [ -z "${3:-}" ] || wait_log "GetOkToPerformAU = $2 - $3\$" "$1: the log says $(log_new | grep 'GetOkToPerformAU =' || echo nothing)"
}
# A probe that must decide to act on the offer.
fire() { probe_decides "$1" 6 "" "${2:-31:1}"; }
# Waits until the probe is over; result is TRUE or FALSE as the update or the inform
# path logged it.
ended() { # what
  wait_more "$x" "^$x ==== PerformShot-2 ====" "$s" "$1: the probe did not end"
  result=$(log_new | sed -n 's/.*PerformAutoUpdate() - END    Result=//p; s/.*PerformAutoInform() - END //p' | tail -1)
  [ -n "$result" ] || fail "$1: no end of the update or inform path in the log"
}

# ---- what an update cycle did: the engine double reports to $work/report.txt ----
report() { tr -d '\r' <"$work/report.txt" 2>/dev/null | sed -n "s/^$1=//p" | tail -1; }
# The step markers of the latest update cycle in the trace.
steps() { lines_of "$x" | sed -n 's/.* ==== PerformAutoUpdate-\([0-9]*\) ====$/\1/p' | tr '\n' ' ' | sed 's/.*\(^\| \)4 /4 /'; }
# The setup ran with the update's switches and the new agent beside the engine, the
# version is recorded, the package gone.
installed() { # what
  ended "$1"
  [ "$result" = TRUE ] || fail "$1: Result=$result"
  logged "PerformAutoUpdate() - START" || fail "$1: no start line"
  [ "$(steps)" = "4 5 6 7 8 9 10 11 12 13 " ] || fail "$1: steps $(steps)"
  [ "$(report done)" = 1 ] || fail "$1: the engine did not run"
  tr -d '\r' <"$work/report.txt" | grep -q '^file=Agent\.exe|' || fail "$1: no new agent beside the engine"
  cmd=$(report cmdline)
  for sw in '/OriginalInfoFile="C:\agent dir\Agent.info"' /AutoUpdateProg /OriginExe=; do
    printf '%s' "$cmd" | grep -Fq -- "$sw" || fail "$1: no $sw in $cmd"
  done
  [ "$(setting VersionOriginal)" = 5 ] || fail "$1: VersionOriginal $(setting VersionOriginal)"
  [ "$(setting Stamp)" = 1 ] && [ -n "$(setting ReAskSecondsLast)" ] || fail "$1: the offer was not recorded"
  [ ! -e "$dir/Update.exe" ] || fail "$1: the package was kept"
}
# Nothing was installed; the offer counts as taken (declined) or not (failed).
not_installed() { # what taken|open
  ended "$1"
  [ "$result" = FALSE ] || fail "$1: Result=$result"
  [ ! -f "$work/report.txt" ] || fail "$1: the engine ran: $(report cmdline)"
  [ "$(setting VersionOriginal)" = 4 ] || fail "$1: VersionOriginal $(setting VersionOriginal)"
  if [ "$2" = taken ]; then
    [ "$(setting Stamp)" = 1 ] && [ -n "$(setting ReAskSecondsLast)" ] || fail "$1: the declined offer was not recorded"
  else
    [ "$(setting Stamp)" = 0 ] && [ -z "$(setting ReAskSecondsLast)" ] || fail "$1: a failed offer was recorded"
  fi
}

# ---- cases that go on after one of them fails ----
# Runs a case in a subshell: its fail() ends that case only; the script's recover
# then brings the agent back to a known state. ok_cases and failed_cases list them;
# CASES="a b" runs only those.
ok_cases=""
failed_cases=""
run_case() { # name function [args]
  name=$1
  shift
  case " ${CASES:-$name} " in *" $name "*) ;; *) return 0 ;; esac
  t0=$(date +%s)
  set +e
  (set -e; "$@")
  rc=$?
  set -e
  if [ $rc = 0 ]; then
    echo "case $name: ok ($(($(date +%s) - t0)) s)"
    ok_cases="$ok_cases $name"
  else
    echo "case $name: FAILED" >&2
    failed_cases="$failed_cases $name"
    recover
  fi
}
cases_result() {
  echo "passed:${ok_cases:- none}"
  [ -z "$failed_cases" ] || { echo "failed:$failed_cases" >&2; return 1; }
}

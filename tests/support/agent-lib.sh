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

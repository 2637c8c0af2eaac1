#!/bin/sh
# The process functions under Wine, on real processes and windows: lookup by path, the
# main window, posted messages, close, quit, kill and the bounded waits, with the app
# double started as "C:\test dir\app.exe" beside a same-named copy "C:\other\app.exe"
# that nothing aimed at the first may touch; once for each of the prefix's Windows
# versions winxp, win7 and win10. Then the piped execution with the console double.
set -eu
export LC_ALL=C  # the collected output holds ANSI bytes, not UTF-8
: "${WINE_ENV:?}" "${APP_DOUBLE:?}" "${CONSOLE_DOUBLE:?}" "${PROCESS_DRIVER:?}"
WINROBOT_EXE=${WINROBOT_EXE:-}
. "$(dirname "$0")/../support/robot-lib.sh"
work=$(mktemp -d /tmp/proc-XXXXXX)
drive_c="$WINE_ENV/prefix/drive_c"
A='C:\test dir\app.exe'
B='C:\other\app.exe'
wwork="Z:$(printf '%s' "$work" | tr / '\\')"

# The prefix's Windows version is put back however the test ends.
old_version=$($run reg query 'HKCU\Software\Wine' /v Version 2>/dev/null | tr -d '\r' |
  sed -n 's/^ *Version *REG_SZ *//p')
cleanup() {
  reap_all
  if [ -n "$old_version" ]; then
    $run reg add 'HKCU\Software\Wine' /v Version /d "$old_version" /f >/dev/null 2>&1 || true
  else
    $run reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
  fi
  rm -rf "$work" "$drive_c/test dir" "$drive_c/other"
}
trap cleanup EXIT
mkdir -p "$drive_c/test dir" "$drive_c/other"
cp "$APP_DOUBLE" "$drive_c/test dir/app.exe"
cp "$APP_DOUBLE" "$drive_c/other/app.exe"
cp "$CONSOLE_DOUBLE" "$drive_c/test dir/console.exe"
short_a=$($run winepath -s "$A" 2>/dev/null | tr -d '\r')
[ -n "$short_a" ] && [ "$short_a" != "$A" ] || fail "no short form of $A: $short_a"

# Runs the driver; its output (no CRs) is in $out.
drv() { out=$($run "$PROCESS_DRIVER" "$@" 2>&1 | tr -d '\r') || true; }
want() { # KEY VALUE what
  got=$(printf '%s\n' "$out" | sed -n "s/^$1=//p" | head -1)
  [ "$got" = "$2" ] || fail "$3: $1=$got, expected $2 ($version) -- $out"
}
# Starts the double as NAME from PATH with options; waits for its windows.
launch() { # name path options...
  n=$1
  p=$2
  shift 2
  rm -f "$work/$n.ready" "$work/$n.log"
  start "$n" "$p" --ready "$wwork\\$n.ready" --log "$wwork\\$n.log" --life 90 "$@"
  i=0
  until [ -s "$work/$n.ready" ]; do [ $i -lt 300 ] || fail "$n did not start"; sleep 0.1; i=$((i + 1)); done
  eval "wpid_$n=$(tr -d '\r\n' <"$work/$n.ready")"
}
logged() { [ -f "$work/$1.log" ] && tr -d '\r' <"$work/$1.log" | grep -q "$2"; }
# Waits (at most 10 s) for a started double to end; its exit code in $rc.
ended() { # name
  eval "pid=\$pid_$1"
  i=0
  while kill -0 "$pid" 2>/dev/null; do [ $i -lt 100 ] || fail "$1 still runs ($version)"; sleep 0.1; i=$((i + 1)); done
  set +e
  wait "$pid"
  rc=$?
  set -e
}
b_untouched() {
  drv running "$B"
  want RUNNING 1 "the copy at $B must still run after $1"
  [ ! -s "$work/b.log" ] || fail "the copy at $B got messages meant for $A ($1, $version): $(cat "$work/b.log")"
}

for version in winxp win7 win10; do
  $run reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1 || fail "cannot set $version"
  launch b "$B"
  launch a "$A"

  # Lookup: full path, its short form, the bare name; name-only needs the full path.
  drv find "$A"
  want PID "$wpid_a" "find by full path"
  want STATE Running "find by full path"
  drv find "$short_a"
  want PID "$wpid_a" "find by the short form"
  drv find "$A" nameonly xp
  want PID "$wpid_a" "find through the first module's file name"
  drv find 'APP.EXE'
  want STATE Running "find by the bare name"
  drv find 'app.exe' nameonly
  want STATE NotRunning "a bare name with name-only"
  want FINDPROCESSID 0 "a bare name with name-only"
  drv running 'C:\third\app.exe'
  want RUNNING 0 "a same-named program elsewhere"
  want STATE NotRunning "a same-named program elsewhere"
  drv list ids full
  printf '%s\n' "$out" | grep -qF "|$A=$wpid_a|" || fail "process list without $A=$wpid_a: $out"
  drv tasklist "$A"
  # Wine's tasklist prints nothing: that cannot tell, but never says "not running".
  printf '%s\n' "$out" | grep -q '^STATE=NotRunning' && fail "tasklist lookup said not running: $out"

  # The main window of three, a posted message, WM_CLOSE with its wait.
  drv mainwindow "$A"
  want TITLE "App Double Main" "main window of three"
  drv post "$A" 0x4d2 5 6
  want POSTED 1 "post"
  i=0
  until logged a 'posted main msg=1234 w=5 l=6'; do [ $i -lt 50 ] || fail "the post did not reach the main window"; sleep 0.1; i=$((i + 1)); done
  logged a 'posted \(tool\|dialog\)' && fail "the post reached another window: $(cat "$work/a.log")"
  drv wait "$A" 0
  want STATE Running "a bounded wait for a running program"
  want PUMPED 1 "the wait pumps messages"
  want QUIT_KEPT 1 "the wait keeps a quit message for the loop"
  drv close "$A" 5000
  want POSTED 1 "close"
  want STATE NotRunning "closed within the wait"
  logged a 'close main msg=16 w=15 l=255' || fail "WM_CLOSE 15/255 not seen: $(cat "$work/a.log")"
  ended a
  [ "$rc" = 0 ] || fail "closed double exit code $rc"
  b_untouched close

  # WM_QUIT ends the loop with its wParam as exit code.
  launch a "$A"
  drv quit "$A"
  want POSTED 1 "quit"
  drv wait "$A" 5000
  want STATE NotRunning "quit, then wait"
  ended a
  [ "$rc" = 15 ] || fail "quit double exit code $rc, expected 15"

  # A program that ignores WM_CLOSE, then WM_QUIT: still running; killed by path.
  launch a "$A" --close ignore --quit ignore
  drv close "$A" 500
  want STATE Running "a program that ignores WM_CLOSE"
  drv quit "$A"
  want POSTED 1 "quit to a program that ignores it"
  i=0
  until logged a 'quit main msg=18 w=15 l=255'; do [ $i -lt 50 ] || fail "WM_QUIT not seen"; sleep 0.1; i=$((i + 1)); done
  drv running "$A"
  want RUNNING 1 "a program that ignores WM_QUIT"
  drv kill "$A"
  want KILLED 1 "kill"
  ended a
  drv running "$A"
  want RUNNING 0 "after kill"
  b_untouched kill

  # Started through its short form: still the program at the long path, not the copy.
  launch a "$short_a"
  drv find "$A"
  want PID "$wpid_a" "a program started by its short form"
  drv kill "$A"
  want KILLED 1 "kill a program started by its short form"
  ended a
  b_untouched "the short-form start"

  # Slow to close: a short wait returns while it runs, a longer one sees the end; the
  # window wait ends with the window.
  launch a "$A" --close slow:2 --title "Slow Main"
  start waiter "$PROCESS_DRIVER" waitwindow AppDoubleWindow "Slow Main"
  drv close "$A" 300
  want POSTED 1 "close of a slow program"
  want STATE Running "a slow program within a short wait"
  drv wait "$A" 8000
  want STATE NotRunning "a slow program within a long wait"
  finish waiter
  [ "$(value_of waiter DONE)" = 1 ] || fail "the window wait did not end"

  # Windowless and hidden-only programs have no main window: nothing is posted.
  for kind in none hidden; do
    launch a "$A" --windows "$kind"
    drv mainwindow "$A"
    want FOUND 0 "main window of $kind"
    drv post "$A" 0x4d2 1 2
    want POSTED 0 "post to $kind"
    drv close "$A" 300
    want POSTED 0 "close of $kind"
    want STATE Running "close of $kind"
    drv kill "$A"
    want KILLED 1 "kill $kind"
    ended a
    [ ! -s "$work/a.log" ] || fail "$kind got messages: $(cat "$work/a.log")"
  done

  # More windows than one lookup keeps: the newest, shown one is still found.
  if [ "$version" = win10 ]; then
    launch a "$A" --windows many:2100
    drv mainwindow "$A"
    want TITLE "App Double Main" "main window among 2101"
    drv kill "$A"
    want KILLED 1 "kill the many-window double"
    ended a
  fi

  b_untouched "the $version round"
  drv kill "$B"
  want KILLED 1 "kill the copy"
  ended b
  reap_all
done

# ---- piped execution ----
version=exec
C='C:\test dir\console.exe'
drv exec "$C" "--oem --err E1 --exit 3"
want OK 0 "exit code 3"
want EXIT 3 "exit code 3"
oem=$(printf '%s\n' "$out" | sed -n 's/^OEMCP=//p')
case "$oem" in
437 | 850) printf '%s\n' "$out" | grep -q '^OUTPUT_HEX=.*fce4f60d0a' || fail "OEM text not in ANSI: $out" ;;
*) echo "OEM code page $oem: the umlaut bytes are not checked" ;;
esac
printf '%s\n' "$out" | grep -q '^OUTPUT=.*E1|' || fail "standard error not collected: $out"
drv exec "$C" "--priority"
want OK 1 "priority run"
want OUTPUT "PRIORITY=40|" "idle priority"
drv exec "$C" "--bytes 70000 --exit 0"
want OUTPUT_SIZE 70000 "output of several reads"
drv exec "$C" "--forever" 1500
want OK 0 "a program that never ends"
want EXIT 255 "a program that never ends"
printf '%s\n' "$out" | grep -q '^ERROR=.*ended after 1500 ms' || fail "no time-out text: $out"
drv running "$C"
want RUNNING 0 "the never-ending program was ended"
drv exec "$C" pad:32767
want EXIT 21 "a command line that is too long"
want ERROR "Command line is too long" "a command line that is too long"
drv exec 'C:\missing\nothing.exe' -
want EXIT 21 "a missing program"
printf '%s\n' "$out" | grep -q '^ERROR=C:\\missing\\nothing.exe --- .' || fail "missing program text: $out"
echo "process functions: all checks passed"

#!/bin/sh
# One Wine environment per test run: an Xvfb display, a persistent wineserver and a
# private 32-bit prefix under ENV_DIR. Started once before the Windows tests and
# stopped after them; only the processes recorded here are ever signalled.
#   wine-env.sh start ENV_DIR
#   wine-env.sh stop ENV_DIR
set -eu
cmd=$1
env_dir=$2
mkdir -p "$env_dir/prefix"
env_dir=$(cd "$env_dir" && pwd)
export WINEPREFIX="$env_dir/prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# A recorded PID counts only while it still runs the program we started.
alive() { # pidfile name
  [ -s "$1" ] || return 1
  pid=$(cat "$1")
  [ -r "/proc/$pid/cmdline" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "$2"
}

stop_one() { # pidfile name
  if alive "$1" "$2"; then
    pid=$(cat "$1")
    kill "$pid" 2>/dev/null || true
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$1"
}

stop_all() {
  # Ask our own server (it is found through WINEPREFIX) to end every process of
  # this prefix; a bare SIGTERM would leave orphaned Wine processes behind.
  if alive "$env_dir/wineserver.pid" wineserver; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  stop_one "$env_dir/wineserver.pid" wineserver
  stop_one "$env_dir/xvfb.pid" Xvfb
  rm -f "$env_dir/display"
}

case "$cmd" in
start)
  stop_all  # leftovers of an interrupted run
  : >"$env_dir/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$env_dir/display" >"$env_dir/xvfb.log" 2>&1 &
  echo $! >"$env_dir/xvfb.pid"
  i=0
  while [ ! -s "$env_dir/display" ]; do
    [ $i -lt 200 ] || { echo "wine-env: Xvfb did not start" >&2; cat "$env_dir/xvfb.log" >&2; exit 1; }
    sleep 0.05
    i=$((i + 1))
  done
  DISPLAY=":$(cat "$env_dir/display")"
  export DISPLAY
  wineserver -f -p >"$env_dir/wineserver.log" 2>&1 &
  echo $! >"$env_dir/wineserver.pid"
  if [ ! -f "$env_dir/prefix/system.reg" ]; then
    wineboot -i >"$env_dir/wineboot.log" 2>&1
    # There is no window manager on this display. Wine's X11 driver otherwise treats
    # top-level windows as managed and waits 2 s, each time one is hidden or
    # destroyed, for a window manager's answer that never comes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  fi
  # The prefix is usable once wineboot has finished; a quick program proves it.
  wine cmd /c exit 0 >/dev/null 2>&1
  echo "wine-env: display $DISPLAY, wineserver $(cat "$env_dir/wineserver.pid")"
  ;;
stop)
  stop_all
  ;;
*)
  echo "usage: wine-env.sh start|stop ENV_DIR" >&2
  exit 2
  ;;
esac

#!/bin/sh
# Runs a Windows program under the test run's own Wine: private 32-bit prefix,
# the run's Xvfb display and its wineserver (started by wine-env.sh).
#   wine-run.sh ENV_DIR PROGRAM [ARGS...]
set -eu
env_dir=$(cd "$1" && pwd)
shift
export WINEPREFIX="$env_dir/prefix" WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer dialogs, ever.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ -s "$env_dir/display" ]; then
  DISPLAY=":$(cat "$env_dir/display")"
  export DISPLAY
fi
exec wine "$@"

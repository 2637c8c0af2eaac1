#!/bin/sh
# Regenerates the pictures in docs/pictures (shown in README.md): the stub's windows
# as users see them, shot from the Xvfb display of a private Wine environment.
#   scripts/pictures.sh
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
sh scripts/install-deps.sh imagemagick
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null

out=docs/pictures
mkdir -p "$out"
env=build/windows/pictures-env
work=$(mktemp -d)
sh tests/support/wine-env.sh start "$env" >/dev/null
pids=""
finish() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  sh tests/support/wine-env.sh stop "$root/$env" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT
run="tests/support/wine-run.sh $env"
robot="build/windows/winrobot.exe"
tests=build/windows/tests
# Without a window manager Wine draws the captions itself.
$run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

# Shoots the window, then lets the robot answer it.
shoot() { # picture-name robot-window-args... -- answer-args...
  name=$1
  shift
  select=""
  while [ "$1" != "--" ]; do select="$select $1"; shift; done
  shift
  # shellcheck disable=SC2086
  $run "$robot" wait $select --timeout 30000 >/dev/null
  # shellcheck disable=SC2086
  rect=$($run "$robot" show $select | tr -d '\r' | sed -n 's/^rect=//p')
  x=$(echo "$rect" | cut -d, -f1); y=$(echo "$rect" | cut -d, -f2)
  w=$(echo "$rect" | cut -d, -f3); h=$(echo "$rect" | cut -d, -f4)
  DISPLAY=":$(cat "$env/display")" import -window root \
    -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
  echo "$out/$name.png"
  # shellcheck disable=SC2086
  [ $# -gt 0 ] && $run "$robot" "$@" $select >/dev/null
  wait_all
}
start() { "$@" >/dev/null 2>&1 & pids="$pids $!"; }
wait_all() {
  for pid in $pids; do wait "$pid" 2>/dev/null || true; done
  pids=""
}

# The progress window while files are unpacked (a long test step stands in for the
# extraction); shot once the bar is under way.
start $run $tests/mainwin_host.exe --steps 400 --interval 15 --abort-ends --caption "Demo Setup"
$run "$robot" wait --class MainWinHost --timeout 30000 >/dev/null
sleep 2
shoot progress --class MainWinHost -- close

start $run $tests/msgbox_host.exe --kind error --owner 0 --title "" \
  --text "Bad CRC!<P>This indicates that your setup file might be corrupted..."
shoot error-box --class VMsgBox --title Error -- press --index 0

start $run $tests/msgbox_host.exe --kind yesno --owner 0 --title "" \
  --text "Limited Free Space on your Temp Drive! (C:)<P><P>Estimated space required on your Temp drive is: <T>  312.5 MB<P>Free space available on your Temp drive is: <T>  201.7 MB<P><P>Continue with Setup?<P>"
shoot question-box --class VMsgBox --title Confirm -- press --button No

start $run $tests/msgbox_host.exe --kind okcancel --owner 0 --title Attention \
  --text "Please insert <B>DISK #2</B> and press OK to continue"
shoot insert-disk --class VMsgBox --title Attention -- press --button OK

# Hebrew: code page 1255 texts (written as bytes: a command line would change them on
# their way through Wine), charset 177, a Hebrew system locale.
printf '\344\372\367\360\372 \344\343\342\356\344' >"$work/title.txt"
printf '|&\340\351\371\345\370|&\341\351\350\345\354|&\353\357|&\354\340|&\344\364\361\367|&\360\361\344 \371\345\341|&\344\372\362\354\355|' >"$work/buttons.txt"
printf '\344\372\345\353\360\344 \372\345\372\367\357 \341\372\351\367\351\351\344 <B>C:\\Program Files\\Demo</B>.<P>\354\344\356\371\351\352 \341\344\372\367\360\344?' >"$work/text.txt"
start env LC_ALL=he_IL.UTF-8 LANG=he_IL.UTF-8 $run $tests/msgbox_host.exe --kind yesno --owner 0 --charset 177 \
  --title "@$work/title.txt" --buttons "@$work/buttons.txt" --text "@$work/text.txt"
shoot hebrew-box --class VMsgBox -- keys "{ESC}"

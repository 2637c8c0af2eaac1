#!/bin/sh
# The agent's update cycle with the real Stub.exe as "C:\agent dir\Agent.exe" against
# the vendor-server double: a whole update for each shut-down method with the
# application double running in the product's folder (and a same-named program
# elsewhere that must never be touched), the setup run of an update package whose
# engine double records its command line, the version recorded, the application and
# the agent restarted; the questions before the download and the install (answered,
# declined, forced), a user's check-now, a user who never closes the application,
# and what the agent refuses: a package of another product, an HTML page, a stale
# package when the server then fails, file names that are not plain names, and a
# RunningProcess outside the product's folders; last an update from the test-mode
# folder. CASES="a b" runs only those cases; UPDATE_TEST_KEEP=FOLDER keeps the agent's
# folder and the scratch folder (trace, reports) there.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${VDEBUG_EXE:?}"
: "${AGENT_CONTROLLER_EXE:?}" "${ENGINE_DOUBLE_EXE:?}" "${APP_DOUBLE:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
. "$(dirname "$0")/../support/agent-lib.sh"
elsewhere="$prefix/drive_c/elsewhere"
testdir="$prefix/drive_c/agent test"
app_win='C:\agent dir\App\App.exe'
other_win='C:\elsewhere\App.exe'
cleanup() {
  [ -z "${UPDATE_TEST_KEEP:-}" ] || cp -r "$dir" "$work" "$UPDATE_TEST_KEEP"/ 2>/dev/null || true
  close_boxes
  stop_agents
  apps_down
  close_restarted
  test_mode off
  reap_all
  stop_server
  rm -rf "$work" "$dir" "$elsewhere" "$testdir"
}
trap cleanup EXIT
rm -rf "$dir" "$elsewhere" "$testdir"
mkdir -p "$dir/App" "$elsewhere" "$testdir"
wwork=$(winpath "$work")

# ---- the application doubles ----
cp "$APP_DOUBLE" "$dir/App/App.exe"
cp "$APP_DOUBLE" "$elsewhere/App.exe"
# A restarted application knows only its path: it reports through the environment,
# which the agent hands on.
APP_DOUBLE_READY="$wwork\\restarted.ready"
APP_DOUBLE_LOG="$wwork\\restarted.log"
ENGINE_DOUBLE_REPORT="$wwork\\report.txt"
export APP_DOUBLE_READY APP_DOUBLE_LOG ENGINE_DOUBLE_REPORT
alive() { st=$(ps -o stat= -p "$1" 2>/dev/null || true); [ -n "$st" ] && [ "${st#Z}" = "$st" ]; }
app_up() { # name windows-path title [app-double args]: started and ready
  n=$1 path=$2 title=$3
  shift 3
  rm -f "$work/$n.ready" "$work/$n.log"
  $run "$path" --ready "$wwork\\$n.ready" --log "$wwork\\$n.log" --title "$title" --life 120 "$@" >/dev/null 2>&1 &
  echo $! >"$work/$n.pid"
  i=0
  until [ -s "$work/$n.ready" ]; do [ $i -lt 300 ] || fail "$n did not start"; sleep 0.1; i=$((i + 1)); done
}
upid() { cat "$work/$1.pid" 2>/dev/null || echo 0; }
app_down() { # name
  [ -f "$work/$1.pid" ] || return 0
  p=$(upid "$1")
  kill "$p" 2>/dev/null || true
  i=0
  while alive "$p" && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  rm -f "$work/$1.pid"
}
apps_down() { app_down product; app_down other; }
app_log() { [ ! -f "$work/$1.log" ] || tr -d '\r' <"$work/$1.log"; }
product_up() { app_up product "$app_win" "Product App" "$@"; }
# The same-named program in another folder: running all along, never messaged.
other_untouched() { # what
  alive "$(upid other)" || fail "$1: the program elsewhere was ended"
  [ -z "$(app_log other)" ] || fail "$1: the program elsewhere got: $(app_log other)"
}
# The product's program came back as the same file without arguments.
restarted() { # what
  i=0
  until [ -s "$work/restarted.ready" ]; do [ $i -lt 150 ] || fail "$1: the program was not restarted"; sleep 0.1; i=$((i + 1)); done
  line=$(tr -d '\r' <"$work/restarted.log" | sed -n 's/^start //p' | head -1)
  [ "$(printf '%s' "$line" | sed 's/^"\(.*\)"\( *\)$/\1/; s/ *$//')" = "$app_win" ] ||
    fail "$1: restarted as $line"
  close_restarted
}
close_restarted() {
  [ -s "$work/restarted.ready" ] || return 0
  robot close --class AppDoubleWindow --title "App Double Main" --timeout 5000 >/dev/null || true
  robot waitgone --class AppDoubleWindow --title "App Double Main" --timeout 10000 >/dev/null || true
  rm -f "$work/restarted.ready" "$work/restarted.log"
}
not_restarted() { # what
  ! robot wait --class AppDoubleWindow --title "App Double Main" --timeout 2000 >/dev/null ||
    { close_restarted; fail "$1: the program was restarted"; }
  [ ! -s "$work/restarted.ready" ] || { close_restarted; fail "$1: the program was restarted"; }
}

# ---- the packages: the update (same token as the agent), another product's, a page
token=Secret42
cp "$ENGINE_DOUBLE_EXE" "$work/Engine.exe"
pack_update() { # file token
  $run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$1" --main Engine.exe --token "$2" "$work/Engine.exe" \
    >"$work/pack.log" 2>&1 || fail "stubpack: $(cat "$work/pack.log")"
}
start_server
url="http://127.0.0.1:$port/vendor"
pack_update "$work/srv/Update.exe" "$token"
pack_update "$work/srv/Other.exe" "Another product"
printf '<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML 2.0//EN">\n<html><head>\n<title>404 Not Found</title>\n</head><body>\n<h1>Not Found</h1>\n<p>The requested URL was not found on this server.</p>\n</body></html>\n' \
  >"$work/srv/Page.exe"
cp "$work/srv/Update.exe" "$testdir/Update.exe"
size_of() { stat -c %s "$1"; }
pack_agent --info-location "$url" --token "$token"

# ---- the offer (version 5 for the installed 4) and the agent's texts ----
# location, pkg, size and running may be changed by a case; fresh puts them back.
fresh() { location=$url pkg=Update.exe running='<InstallDir>App.exe' size=$(size_of "$work/srv/Update.exe"); }
offer() { # more [NewSetup] lines (\r\n escapes)
  printf '[NewSetup]\r\nVersionNew=5\r\nStamp=1\r\nDownloadURL_UPDATE=%s\r\nNameOfUpdateFile=%s\r\nSizeOfUpdateFile=%s\r\nRunningProcess=%s\r\nProgramName=Demo App\r\n%b' \
    "$location" "$pkg" "$size" "$running" "${1:-}" >"${2:-$work/srv/Agent.info}"
}
original() {
  {
    printf '[OriginalSetup]\r\nVersionOriginal=4\r\nStamp=0\r\nProbeSecondsInterval=-1\r\nProgramName=Demo App\r\n'
    printf '[Directories]\r\nTargetDir=<SrcDir>App\r\n[AutoUpdate]\r\n'
    printf '%s\r\n' 's11=Get PROG_NAME 5?' 's12=<P>It installs at once.' 's13=<P>You are asked before it installs.' \
      's18=<P>It comes and installs at once.' 's19=<P>It comes; you are told before it installs.' \
      's14=Install PROG_NAME 5 now?' 's20=PROG_NAME 5 installs now.' 's15=Please close PROG_NAME.' \
      's16=PROG_NAME is up to date.' 's17=<P>Start it again?' 's22=Check for PROG_NAME now?' 's24=<P>Go on?' \
      's21=No new version of PROG_NAME.'
  } >"$dir/Agent.original"
}

# ---- one update cycle ----
# Sets up the case: the offer with these lines, version 4 installed, the report gone,
# the agent's restart held back (a stop count far ahead) unless the case wants it.
begin() { # more [NewSetup] lines
  offer "${1:-}"
  original
  rm -f "$work/report.txt"
  web log/clear >/dev/null
  controller stop "$class" 900 >/dev/null || fail "cannot reach the agent"
}
shut_down_logged() { # what method
  logged "Shut Down Process() - START  ($app_win)  Method: $2" || fail "$1: $(log_new | grep 'Shut Down' || echo 'no shut-down line')"
}
recover() {
  close_boxes
  stop_agents
  app_down product
  close_restarted
  test_mode off
  web vendor-fault/none >/dev/null
  alive "$(upid other)" || app_up other "$other_win" "Other App" --life 900
  new_transient plain
}

start_viewer
fresh
offer
original
new_transient plain
app_up other "$other_win" "Other App" --life 900

# ---- a whole update per shut-down method ----
case_message_box() {
  fresh
  begin 'ShutDownMethod=Issue a Message Box\r\nRestartProcess=1\r\nInformFinish=1\r\n'
  product_up
  fire "message box"
  # The request comes back after each OK while the program runs.
  box_is Attention "Please close App.exe." heading 1 "message box"
  answer Attention press --button OK
  box_is Attention "Please close App.exe." heading 1 "message box, again"
  robot close --class AppDoubleWindow --title "Product App" >/dev/null || fail "cannot close the program"
  i=0
  while alive "$(upid product)"; do [ $i -lt 100 ] || fail "the program did not close"; sleep 0.1; i=$((i + 1)); done
  answer Attention press --button OK
  box_is Confirm "Demo App is up to date." plain 2 "finish question"
  box_is Confirm "Start it again?" plain 2 "finish question"
  answer Confirm press --button Yes
  installed "message box"
  shut_down_logged "message box" "Issue a Message Box"
  restarted "message box"
  other_untouched "message box"
}
run_case message_box case_message_box

# A slow close is waited for (so the program counts as ended and is restarted); the
# agent restarts itself with its override list, and the new agent does the next case.
case_wm_close() {
  fresh
  begin 'ShutDownMethod=Using WM_CLOSE\r\nRestartProcess=1\r\n'
  controller stop "$class" -1 >/dev/null
  controller ask "$class" 20:0 >/dev/null
  product_up --close slow:2
  old=$x
  agents=$(starts)
  fire "WM_CLOSE"
  installed "WM_CLOSE"
  shut_down_logged "WM_CLOSE" "Using WM_CLOSE"
  app_log product | grep -q '^close main msg=16 ' || fail "WM_CLOSE: the program got: $(app_log product)"
  restarted "WM_CLOSE"
  other_untouched "WM_CLOSE"
  logged '.. ReStartAutoUpdateExe() - Start' || fail "WM_CLOSE: no restart"
  logged "Agent.exe\" /_ZZ=99 /WAIT=10 /TRANSIENT=|0|255|255|255|255|255|255|255|" ||
    logged "Agent.exe /_ZZ=99 /WAIT=10 /TRANSIENT=|0|255|255|255|255|255|255|255|" ||
    fail "WM_CLOSE: restart line: $(log_new | grep 'WinExec' || echo none)"
  wait_gone "$old"
  i=0
  until [ "$(starts)" -gt "$agents" ]; do [ $i -lt 300 ] || fail "WM_CLOSE: no new agent"; sleep 0.1; i=$((i + 1)); done
  x=$(transient_pid)
  wait_lines "$x" "^$x overrides \|0\|255\|255\|255\|255\|255\|255\|255\|$" "WM_CLOSE: the new agent lost the override list"
  logged "Wait 10 SEC" || fail "WM_CLOSE: the new plain agent did not wait"
}
run_case wm_close case_wm_close
x=$(transient_pid)

case_wm_quit() {
  fresh
  begin 'ShutDownMethod=Using WM_QUIT\r\nRestartProcess=1\r\nInformFinish=1\r\n'
  product_up
  fire "WM_QUIT"
  box_is Confirm "Start it again?" plain 2 "WM_QUIT, finish question"
  answer Confirm press --button No
  installed "WM_QUIT"
  shut_down_logged "WM_QUIT" "Using WM_QUIT"
  app_log product | grep -q '^quit main msg=18 w=15 l=255$' || fail "WM_QUIT: the program got: $(app_log product)"
  not_restarted "WM_QUIT, restart declined"
  other_untouched "WM_QUIT"
}
run_case wm_quit case_wm_quit

case_terminate() {
  fresh
  begin 'ShutDownMethod=Using Terminate Process\r\nInformFinish=1\r\n'
  product_up --close ignore --quit ignore
  fire "Terminate"
  box_is Attention "Demo App is up to date." plain 1 "Terminate, finish notice"
  answer Attention press --button OK
  installed "Terminate"
  shut_down_logged "Terminate" "Using Terminate Process"
  ! alive "$(upid product)" || fail "Terminate: the program still runs"
  [ -z "$(app_log product)" ] || fail "Terminate: the program got: $(app_log product)"
  other_untouched "Terminate"
}
run_case terminate case_terminate

case_dont_shut_down() {
  fresh
  begin "ShutDownMethod=Don't Shut Down\\r\\nRestartProcess=1\\r\\n"
  product_up
  fire "Don't Shut Down"
  installed "Don't Shut Down"
  shut_down_logged "Don't Shut Down" "Don't Shut Down"
  alive "$(upid product)" && [ -z "$(app_log product)" ] || fail "Don't Shut Down: the program was touched"
  not_restarted "Don't Shut Down"
  other_untouched "Don't Shut Down"
  app_down product
}
run_case dont_shut_down case_dont_shut_down

# A user who never closes the program: after five requests the update gives up.
case_never_closed() {
  fresh
  begin 'ShutDownMethod=Issue a Message Box\r\nRestartProcess=1\r\n'
  product_up
  fire "never closed"
  for k in 1 2 3 4 5; do answer Attention press --button OK; done
  not_installed "never closed" taken
  logged "ERROR: the program still runs" || fail "never closed: $(log_new | tail -5)"
  alive "$(upid product)" || fail "never closed: the program was ended"
  app_down product
}
run_case never_closed case_never_closed

# RunningProcess outside TargetDir (C:\elsewhere\App.exe once expanded and made a full
# path): never shut down or restarted, the install goes on.
case_outside() {
  fresh
  running='<InstallDir>..\..\elsewhere\App.exe'
  begin 'ShutDownMethod=Using Terminate Process\r\nRestartProcess=1\r\n'
  fire "outside"
  ended "outside"
  logged "ERROR: RunningProcess outside the product's folders" || fail "outside: $(log_new | grep -i 'shut\|error')"
  [ "$result" = TRUE ] && [ "$(report done)" = 1 ] || fail "outside: the install did not go on ($result)"
  other_untouched "outside"
  not_restarted "outside"
}
run_case outside case_outside

# ---- the questions before the download and the install ----
# The product's program does not run (only the same-named one elsewhere): no request
# to close it.
case_confirm_yes() {
  fresh
  begin "ShutDownMethod=Issue a Message Box\\r\\nRequestConfirmationBeforeDownload=1\\r\\nRequestConfirmationBeforeInstall=1\\r\\n"
  fire "confirm yes"
  box_is Confirm "Get Demo App 5?" heading 2 "download question"
  box_is Confirm "You are asked before it installs." heading 2 "download question"
  answer Confirm press --button Yes
  box_is Confirm "Install Demo App 5 now?" heading 2 "install question"
  answer Confirm press --button Yes
  installed "confirm yes"
  other_untouched "confirm yes"
}
run_case confirm_yes case_confirm_yes

case_decline_download() {
  fresh
  begin "ShutDownMethod=Don't Shut Down\\r\\nRequestConfirmationBeforeDownload=1\\r\\n"
  fire "decline download"
  box_is Confirm "Get Demo App 5?" heading 2 "download question"
  box_is Confirm "It installs at once." heading 2 "download question"
  answer Confirm press --button No
  not_installed "decline download" taken
  ! web log | grep -q '^GET /vendor/Update.exe' || fail "decline download: the package was fetched"
}
run_case decline_download case_decline_download

case_decline_install() {
  fresh
  begin "ShutDownMethod=Don't Shut Down\\r\\nRequestConfirmationBeforeInstall=1\\r\\n"
  fire "decline install"
  box_is Confirm "Install Demo App 5 now?" heading 2 "install question"
  answer Confirm press --button No
  not_installed "decline install" taken
  rm -f "$dir/Update.exe"
}
run_case decline_install case_decline_install

# Forced: the user is told, with no choice. The program did not run, so there is no
# restart question, only the notice.
case_forced() {
  fresh
  begin "ShutDownMethod=Using Terminate Process\\r\\nRestartProcess=1\\r\\nInformFinish=1\\r\\nRequestConfirmationBeforeDownload=1\\r\\nRequestConfirmationBeforeDownloadForce=1\\r\\nRequestConfirmationBeforeInstall=1\\r\\nRequestConfirmationBeforeInstallForce=1\\r\\n"
  fire "forced"
  box_is Attention "you are told before it installs." plain 1 "forced download notice"
  answer Attention press --button OK
  box_is Attention "Demo App 5 installs now." plain 1 "forced install notice"
  answer Attention press --button OK
  box_is Attention "Demo App is up to date." plain 1 "forced, finish notice"
  answer Attention press --button OK
  installed "forced"
  other_untouched "forced"
}
run_case forced case_forced

# A user's check-now ("Agent.exe /TEST=2"): no questions before download and install,
# but the finish notice, though InformFinish is off.
case_check_now() {
  fresh
  begin "ShutDownMethod=Using WM_CLOSE\\r\\nRequestConfirmationBeforeDownload=1\\r\\nRequestConfirmationBeforeInstall=1\\r\\n"
  log_mark
  s=$(count_lines "$x" "^$x ==== PerformShot-2 ====")
  plain /TEST=2
  box_is Confirm "Check for Demo App now?" plain 2 "check question"
  answer Confirm press --button Yes
  box_is Attention "Demo App is up to date." plain 1 "check-now finish"
  answer Attention press --button OK
  installed "check-now"
  other_untouched "check-now"
  ! robot wait --class VMsgBox --timeout 1500 >/dev/null || fail "check-now: another box: $(box_text '')"
}
run_case check_now case_check_now

# ---- refusals ----
case_wrong_package() {
  for p in Other.exe Page.exe; do
    fresh
    pkg=$p size=$(size_of "$work/srv/$p")
    begin "ShutDownMethod=Don't Shut Down\\r\\n"
    fire "package $p"
    if [ $p = Other.exe ]; then
      box_is Error 'Bad Secret Token!' heading 1 "package $p"
    else
      box_is Error "404 File Not Found..." heading 1 "package $p"
      box_is Error "URL:  $url/Page.exe." heading 1 "package $p"
    fi
    answer Error press --button OK
    not_installed "package $p" open
    [ ! -e "$dir/$p" ] || fail "package $p: not deleted"
  done
}
run_case wrong_package case_wrong_package

# A package left from before goes before the download; when the server then fails,
# nothing is installed.
case_stale_package() {
  for fault in status/404 drop/20000; do
    fresh
    begin "ShutDownMethod=Don't Shut Down\\r\\n"
    cp "$work/srv/Update.exe" "$dir/Update.exe"
    web "vendor-fault/get/for/Update.exe/$fault" >/dev/null
    fire "stale, $fault"
    not_installed "stale, $fault" open
    web vendor-fault/none >/dev/null
    ! cmp -s "$dir/Update.exe" "$work/srv/Update.exe" || fail "stale, $fault: the old package is still there"
    rm -f "$dir/Update.exe"
  done
}
run_case stale_package case_stale_package

# Names that are no plain names, or the agent's own files: refused before anything is
# fetched, nothing deleted. The vendor's folder has a file for each last element.
case_hostile_names() {
  mkdir -p "$work/srv/pkg"
  for f in Update.exe CON nul.exe Agent.exe x_agent.EXE Agent.info Agent.original X_Agent.log _DEL_ME_.BAT; do
    cp "$work/srv/Update.exe" "$work/srv/pkg/$f"
  done
  mkdir -p "$work/srv/pkg/pkg"
  cp "$work/srv/Update.exe" "$work/srv/pkg/pkg/Update.exe"
  printf 'left alone\r\n' >"$dir/Update.exe"
  printf 'left alone\r\n' >"$dir/_DEL_ME_.BAT"
  cp "$dir/Agent.exe" "$work/own.Agent.exe"
  for name in '..\Update.exe' 'pkg\Update.exe' 'pkg/Update.exe' 'C:\agent dir\Update.exe' CON nul.exe Agent.exe \
    x_agent.EXE Agent.info Agent.original X_Agent.log _DEL_ME_.BAT; do
    fresh
    location="$url/pkg" pkg=$name
    begin "ShutDownMethod=Don't Shut Down\\r\\n"
    fire "name $name"
    not_installed "name $name" open
    logged "ERROR: not a plain file name: $name" || fail "name $name: $(log_new | grep -v '^$' | tail -3)"
    ! web log | grep -q '^GET /vendor/pkg/' || fail "name $name: fetched $(web log | grep '^GET')"
    cmp -s "$dir/Agent.exe" "$work/own.Agent.exe" || fail "name $name: Agent.exe changed"
    for f in Agent.info Agent.original X_Agent.exe X_Agent.log; do
      [ -f "$dir/$f" ] && ! cmp -s "$dir/$f" "$work/srv/Update.exe" || fail "name $name: $f deleted or replaced"
    done
    [ "$(tr -d '\r' <"$dir/Update.exe")" = "left alone" ] || fail "name $name: Update.exe was replaced"
    [ "$(tr -d '\r' <"$dir/_DEL_ME_.BAT")" = "left alone" ] || fail "name $name: _DEL_ME_.BAT was replaced"
  done
  rm -f "$dir/Update.exe" "$dir/_DEL_ME_.BAT"
}
run_case hostile_names case_hostile_names

# ---- test mode: the package comes from the test folder, the server is never asked
case_test_mode() {
  fresh
  location='http://127.0.0.1:9/nowhere'
  offer "ShutDownMethod=Don't Shut Down\\r\\n" "$testdir/Agent.info"
  begin "ShutDownMethod=Don't Shut Down\\r\\n"
  web log/clear >/dev/null
  test_mode 'C:\agent test'
  fire "test mode"
  installed "test mode"
  logged 'Download START: C:\agent test\Update.exe' || fail "test mode: $(log_new | grep Download)"
  [ -z "$(web log)" ] || fail "test mode asked the server: $(web log)"
  [ -f "$testdir/Update.exe" ] || fail "test mode: the folder's package was taken away"
  test_mode off
}
run_case test_mode case_test_mode

[ -z "$(temp_dirs)" ] || fail "setup temp folders left: $(temp_dirs)"
close_boxes
stop_agents
cases_result

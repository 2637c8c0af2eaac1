#!/bin/sh
# Setup files from stubpack run by the real Stub.exe under Wine, end to end: the
# engine double records what it got (command line, files, show state), the
# launcher reads the stub's full exit code, the robot answers the boxes, the debug
# viewer catches the trace lines, and no temp folder or atom is left behind.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${ENGINE_DOUBLE_EXE:?}"
: "${EXIT_LAUNCHER_EXE:?}" "${ATOM_TOOL_EXE:?}" "${ENGINE_EXE:?}" "${VDEBUG_EXE:?}"
work=$(mktemp -d)
small=""
server=""
temp_redirected=""
c_temp_blocked=""
. "$(dirname "$0")/../support/robot-lib.sh"
prefix="$WINE_ENV/prefix"
cleanup() {
  reap_all
  [ -n "$server" ] && { kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; }
  rm -f "$prefix/dosdevices/e:" "$prefix/dosdevices/f:"
  [ -n "$temp_redirected" ] && restore_temp
  [ -n "$c_temp_blocked" ] && rm -f "$prefix/drive_c/TEMP"
  [ -n "$small" ] && { umount "$small" 2>/dev/null || true; rmdir "$small" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY

# The user's TEMP and TMP as the prefix has them, to put back after the test moved them.
env_value() { $run reg query 'HKCU\Environment' /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
set_env_value() { # name value ("" deletes)
  if [ -n "$2" ]; then
    $run reg add 'HKCU\Environment' /v "$1" /d "$2" /f >/dev/null 2>&1 || true
  else
    $run reg delete 'HKCU\Environment' /v "$1" /f >/dev/null 2>&1 || true
  fi
}
orig_temp=$(env_value TEMP)
orig_tmp=$(env_value TMP)
restore_temp() {
  set_env_value TEMP "$orig_temp"
  set_env_value TMP "$orig_tmp"
  temp_redirected=""
}
ENGINE_DOUBLE_REPORT="$(winpath "$work")\\report.txt"
export ENGINE_DOUBLE_REPORT
pack() { # output args...
  out=$1
  shift
  $run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$out" "$@" >"$work/pack.log" 2>&1 || fail "stubpack $*: $(cat "$work/pack.log")"
}
# Starts the setup through the launcher (in the background); the settings are
# blank-separated VAR=VALUE words for the engine double.
begin() { # name settings program args...
  name=$1
  settings=$2
  shift 2
  rm -f "$work/report.txt"
  # shellcheck disable=SC2086
  env $settings $run "$EXIT_LAUNCHER_EXE" "$@" >"$work/$name.out" 2>&1 &
  eval "pid_$name=$!"
  started="$started $!"
}
# Runs a setup to its end and checks the exit code and that it left nothing behind.
setup() { # name expected-exit settings program args...
  name=$1
  expected=$2
  shift 2
  begin "$name" "$@"
  done_setup "$name" "$expected"
}
done_setup() { # name expected-exit
  finish "$1"
  [ "$(value_of "$1" exit)" = "$2" ] || fail "$1: exit code $(value_of "$1" exit), expected $2"
  [ -z "$(temp_dirs)" ] || fail "$1: temp folders left: $(temp_dirs)"
}
report() { tr -d '\r' <"$work/report.txt" 2>/dev/null | sed -n "s/^$1=//p" | tail -1; }
engine_ran() { [ -f "$work/report.txt" ] && [ "$(report done)" = 1 ]; }
# Answers a box that the setup shows.
answer() { # title robot-action...
  title=$1
  shift
  robot wait --class VMsgBox --title "$title" --timeout 30000 >/dev/null || fail "no '$title' box"
  robot "$@" --class VMsgBox --title "$title" >/dev/null || fail "cannot answer '$title'"
}

start_viewer

mkdir -p "$work/files"
cp "$ENGINE_DOUBLE_EXE" "$work/files/Engine.exe"
printf 'payload\r\n' >"$work/files/data.txt"
head -c 300000 /dev/urandom >"$work/files/blob.bin"
touch -d '2022-02-03 04:05:06' "$work/files/data.txt"
cd "$work"
data_crc=$(python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' files/data.txt)

# ---- a normal run: the engine gets the command line of the stub, the files beside it ----
pack setup.exe --main Engine.exe files
setup normal 0 "" ./setup.exe
engine_ran || fail "normal: the engine did not run"
cmd=$(report cmdline)
own=$(winpath "$work/setup.exe")
printf '%s\n' "$cmd" | grep -Eq '^C:\\users\\[^\\]+\\Temp\\SETUP_[0-9]+\\Engine\.exe /TH_ID=_[0-9]+ /OriginExe="'"$(printf '%s' "$own" | sed 's/[\\.]/\\&/g')"'"$' ||
  fail "normal: engine command line: $cmd"
[ "$(report atom_found)" = 1 ] || fail "normal: the run atom was not there"
[ "$(report show)" = 1 ] || fail "normal: the engine was not shown ($(report show))"
tr -d '\r' <report.txt | grep -q "^file=data.txt|9|2022-02-03 04:05:06|$data_crc$" || fail "normal: data.txt beside the engine"
tr -d '\r' <report.txt | grep -q '^file=blob.bin|300000|' || fail "normal: blob.bin beside the engine"
tr -d '\r' <trace.txt | grep -q 'Engine success=TRUE' || fail "normal: the run did not count as a success"

# ---- hidden, with switches from the command line and from the run command ----
pack switches.exe --main Engine.exe --main-args "/S /LANG=2" files
setup hidden 0 "" ./switches.exe /hide /X=1
printf '%s\n' "$(report cmdline)" | grep -Eq '\\Engine\.exe /hide /X=1 /S /LANG=2 /TH_ID=_[0-9]+ /OriginExe="' ||
  fail "hidden: switches: $(report cmdline)"
[ "$(report show)" = 0 ] || fail "hidden: the engine was shown"
pack hiddenflag.exe --hidden --announce-temp-drive --main Engine.exe files
setup hiddenflag 0 "" ./hiddenflag.exe
[ "$(report show)" = 0 ] || fail "hidden flag: the engine was shown"

# ---- the engine's exit code passes on, 259 and above 255 included ----
setup code300 300 "ENGINE_DOUBLE_EXIT=300" ./setup.exe /hide
setup code259 259 "ENGINE_DOUBLE_EXIT=259" ./setup.exe /hide

# ---- the engine keeps the atom: a failed run, the links stay; a successful run
# removes only real shortcuts ----
printf '[NewSetup]\r\nRemoveStartUpShortcut=1\r\nRemoveCheckForNewUpdateShortcut=1\r\n' >Demo.info
wlink=$(winpath "$work")
printf '[UnInstall]\r\nStartUpLink=%s\\App.lnk\r\nCheckforNewUpdateLink=%s\\notes.txt\r\n' "$wlink" "$wlink" >Demo.original
pack links.exe --info-file Demo.info --main Engine.exe files
: >App.lnk
: >notes.txt
before=$(wc -l <trace.txt)
setup keep 0 "ENGINE_DOUBLE_ATOM=keep" ./links.exe /hide
tail -n +"$((before + 1))" trace.txt | tr -d '\r' | grep -q 'Engine success=FALSE' || fail "keep: counted as success"
[ -f App.lnk ] || fail "keep: a failed run removed the start-up link"
[ "$($run "$ATOM_TOOL_EXE" find "AutoUpdateAtomTokenByVabrix$(report token)" | tr -d '\r')" = "found=0" ] ||
  fail "keep: the stub left the run atom behind"
setup links 0 "" ./links.exe /hide
[ ! -f App.lnk ] || fail "links: the start-up shortcut was not removed after success"
[ -f notes.txt ] || fail "links: a file that is no shortcut was removed"

# ---- the engine's dialog outlives it: the stub waits for the window ----
begin dialog "ENGINE_DOUBLE_DIALOG_MS=6000 ENGINE_DOUBLE_DIALOG_AFTER=1" ./setup.exe /hide
i=0
until engine_ran; do [ $i -lt 300 ] || fail "dialog: the engine did not run"; sleep 0.1; i=$((i + 1)); done
robot wait --class ".SDialog_Class_Name.$(report token)" --hidden --timeout 5000 >/dev/null || fail "dialog: no dialog window"
sleep 2.5  # longer than the stub's own pause after the engine
kill -0 "$pid_dialog" 2>/dev/null || fail "dialog: the stub ended while the engine's dialog was still open"
robot wait --class ".SDialog_Class_Name.$(report token)" --hidden --timeout 100 >/dev/null || fail "dialog: window gone early"
done_setup dialog 0

# ---- temp-drive note: No ends the setup, Yes goes on ----
pack announce.exe --announce-temp-drive --main Engine.exe files
begin announce_no "" ./announce.exe
text=$(box_text Confirm)
printf '%s' "$text" | grep -q 'CONFIRM\\n\\nVabrix will extract files to your Temp Drive (C:)' || fail "announce: text $text"
printf '%s' "$text" | grep -q 'Continue with Setup?' || fail "announce: no question"
answer Confirm press --button No
done_setup announce_no 1602
engine_ran && fail "announce: the engine ran after No"
begin announce_yes "" ./announce.exe
answer Confirm press --button Yes
done_setup announce_yes 0
engine_ran || fail "announce: the engine did not run after Yes"

# ---- a damaged package: "Bad CRC!", no engine ----
cp setup.exe damaged.exe
size=$(stat -c %s damaged.exe)
printf 'XXXXXXXXXXXXXXXX' | dd of=damaged.exe bs=1 seek=$((size - 40000)) conv=notrunc 2>/dev/null
begin damaged "" ./damaged.exe
text=$(box_text Error)
printf '%s' "$text" | grep -q 'Bad CRC!' || fail "damaged: box text $text"
answer Error press --index 0
done_setup damaged 1620
engine_ran && fail "damaged: the engine ran"

# ---- an engine that cannot be started ----
mkdir -p broken && printf 'not a program' >broken/Engine.exe && cp files/data.txt broken/
pack broken.exe --main Engine.exe broken
setup broken 1603 "" ./broken.exe /hide

# ---- the agent file, written on request, installed by the example engine ----
mkdir -p agentfiles && cp "$ENGINE_EXE" agentfiles/Engine.exe && cp files/data.txt agentfiles/
pack agent.exe --create-agent --agent-name DemoUpdate.exe --main Engine.exe --main-args '/S /TARGET=C:\agent-test' agentfiles
rm -rf "$prefix/drive_c/agent-test"
setup agent 0 "" ./agent.exe /hide
[ -f "$prefix/drive_c/agent-test/DemoUpdate.exe" ] || fail "agent: no agent file installed"
$run "$STUBPACK_EXE" list "$prefix/drive_c/agent-test/DemoUpdate.exe" | tr -d '\r' >agent.txt || true
grep -Eq 'ThisIs_AutoUpdateProg +1' agent.txt || fail "agent: not an agent: $(cat agent.txt)"
cmp -s files/data.txt "$prefix/drive_c/agent-test/data.txt" || fail "agent: data.txt not installed"
rm -rf "$prefix/drive_c/agent-test"

# ---- a spanned set on drive E:: the first level restarts as "Y_" in the temp
# folder, the robot answers the disk prompt, the copy and its folder go at the end ----
mkdir -p disk
pack disk/span.exe --piece-size 400k --main Engine.exe files
[ -f disk/span.exe.002 ] || fail "span: no second piece"
ln -sfn "$work/disk" "$prefix/dosdevices/e:"
mv disk/span.exe.002 span.002
begin span "" 'E:\span.exe'
finish span  # the first level ends at once
robot wait --class VMsgBox --title Attention --timeout 30000 >/dev/null || fail "span: no disk prompt"
printf '%s' "$(box_text Attention)" | grep -q 'Please insert DISK #2' || fail "span: prompt text"
mv span.002 disk/span.exe.002
answer Attention press --button OK
i=0
until engine_ran; do [ $i -lt 300 ] || fail "span: the engine did not run"; sleep 0.1; i=$((i + 1)); done
printf '%s\n' "$(report cmdline)" | grep -Eq '\\Engine\.exe /OriginExe="E:\\span\.exe" /TH_ID=_[0-9]+$' || fail "span: command line $(report cmdline)"
printf '%s\n' "$(report cmdline)" | grep -q 'SpanCdLvl\|SpanDiskFName1' && fail "span: span switches reached the engine"
i=0
until [ -z "$(temp_dirs)" ]; do [ $i -lt 300 ] || fail "span: the Y_ copy and its folder stayed: $(temp_dirs)"; sleep 0.1; i=$((i + 1)); done

# ---- a second start of the same file while the first runs ----
begin first "ENGINE_DOUBLE_SLEEP_MS=4000" ./setup.exe /hide
i=0
until [ -n "$(temp_dirs)" ]; do [ $i -lt 300 ] || fail "second start: the first did not start"; sleep 0.1; i=$((i + 1)); done
sleep 1.5  # the first one is unpacked and its engine runs
$run "$EXIT_LAUNCHER_EXE" ./setup.exe /hide >"$work/second.out" 2>&1 || fail "second start failed"
[ "$(value_of second exit)" = 0 ] || fail "second start: exit code $(value_of second exit)"
done_setup first 0
tr -d '\r' <report.txt | grep -q "^file=data.txt|9|" || fail "second start: the first setup lost its files"

# ---- the temp drive is too small: the alternative folder on C: is used ----
small=$(mktemp -d)
if mount -t tmpfs -o size=2m tmpfs "$small" 2>/dev/null; then
  mkdir -p "$small/tmp"
  ln -sfn "$small" "$prefix/dosdevices/f:"
  pack big.exe --space-needed 50000000 --main Engine.exe files
  temp_redirected=1
  set_env_value TEMP 'F:\tmp'
  set_env_value TMP 'F:\tmp'
  setup alternative 0 "" ./big.exe /hide
  [ -z "$(ls -A "$small/tmp")" ] || fail "alternative: something stayed on the small drive: $(ls -A "$small/tmp")"
  printf '%s\n' "$(report cmdline)" | grep -Eq '^C:\\TEMP(\\TEMP)?_[0-9]+\\Engine\.exe ' || fail "alternative: engine ran from $(report cmdline)"
  ls -d "$prefix"/drive_c/TEMP_* >/dev/null 2>&1 && fail "alternative: the folder on C: stayed"

  # No other drive to go to (a file named C:\TEMP stops the probe there): the
  # "Limited Free Space" question, answered No and Yes.
  rm -f "$prefix/dosdevices/e:"
  if [ ! -e "$prefix/drive_c/TEMP" ]; then
    : >"$prefix/drive_c/TEMP"
    c_temp_blocked=1
    begin limited_no "" ./big.exe
    text=$(box_text Confirm)
    printf '%s' "$text" | grep -q 'Limited Free Space on your Temp Drive! (F:)' || fail "limited: text $text"
    printf '%s' "$text" | grep -q 'Estimated space required on your Temp drive is: \\t  47.7 MB' || fail "limited: size $text"
    answer Confirm press --button No
    done_setup limited_no 1602
    engine_ran && fail "limited: the engine ran after No"
    begin limited_yes "" ./big.exe
    answer Confirm press --button Yes
    done_setup limited_yes 0
    engine_ran || fail "limited: the engine did not run after Yes"
    [ -z "$(ls -A "$small/tmp")" ] || fail "limited: something stayed on the small drive"
    rm -f "$prefix/drive_c/TEMP"
    c_temp_blocked=""
  fi
  restore_temp
else
  echo "alternative temp: skipped (tmpfs cannot be mounted here)"
fi

# ---- internet stubs against the test server ----
mkdir -p www
pack www/websetup.exe --download-token web-1 --main Engine.exe files
pack www/other.exe --download-token someone-else --main Engine.exe files
python3 "$here/tests/support/http_server.py" --root "$work/www" --port-file "$work/port" >server.log 2>&1 &
server=$!
i=0
until [ -s port ]; do [ $i -lt 100 ] || fail "no test server"; sleep 0.1; i=$((i + 1)); done
base="http://127.0.0.1:$(cat port)"
log() { curl -s "$base/log"; }
curl -s "$base/log/clear" >/dev/null
pack net.exe --internet --confirm-download --download-location "$base/files" --download-of www/websetup.exe
begin net_yes "" ./net.exe
printf '%s' "$(box_text Confirm)" | grep -q 'INTERNET DOWNLOAD' || fail "net: no download question"
answer Confirm press --button Yes
done_setup net_yes 0
engine_ran || fail "net: the engine did not run"
log | grep -q '^GET /files/websetup.exe$' || fail "net: no download: $(log)"
ls "$prefix"/drive_c/users/*/Temp/websetup.exe* >/dev/null 2>&1 && fail "net: the downloaded file stayed"

curl -s "$base/log/clear" >/dev/null
begin net_no "" ./net.exe
answer Confirm press --button No
done_setup net_no 1602
log | grep -q 'GET /files/websetup.exe' && fail "net: downloaded although the answer was No"
engine_ran && fail "net: the engine ran after No"

# The setup file beside the stub is used without a download.
mkdir -p beside && cp net.exe www/websetup.exe beside/
curl -s "$base/log/clear" >/dev/null
setup beside 0 "" ./beside/net.exe /hide
log | grep -q 'GET /files/websetup.exe' && fail "beside: downloaded although the file lay beside the stub"
[ -f beside/websetup.exe ] || fail "beside: the user's setup file was deleted"

pack mismatch.exe --internet --download-location "$base/files" --download-name other.exe --download-token web-1
begin mismatch "" ./mismatch.exe
printf '%s' "$(box_text Error)" | grep -q 'Bad Secret Token!' || fail "mismatch: box $(box_text Error)"
answer Error press --index 0
done_setup mismatch 1620

pack missing.exe --internet --download-location "$base/files" --download-name nothing.exe --download-token web-1
begin missing "" ./missing.exe
printf '%s' "$(box_text Error)" | grep -qi 'not found' || fail "missing: box $(box_text Error)"
answer Error press --index 0
done_setup missing 1603

pack dropped.exe --internet --download-location "$base/drop/100000/files" --download-of www/websetup.exe
begin dropped "" ./dropped.exe
box_text Error >/dev/null || fail "dropped: no error box"
answer Error press --index 0
done_setup dropped 1603
ls "$prefix"/drive_c/users/*/Temp/websetup.exe* >/dev/null 2>&1 && fail "dropped: partial files stayed"
engine_ran && fail "dropped: the engine ran"

# ---- a refused download in the box: a missing file (404, 410, or any status whose
# body is an HTML error page) gets the 404 message with the URL, other statuses their
# code; nothing is installed ----
missing_file_box() { # name location-path page expected-message
  pack "$1.exe" --internet --download-location "$base/$2" --download-name "$3" --download-token web-1
  begin "$1" "" "./$1.exe"
  shown=$(robot show --class VMsgBox --title Error --timeout 30000) || fail "$1: no error box"
  [ "$(field "$shown" text)" = "ERROR\n\n$4\n" ] || fail "$1: box text $(field "$shown" text)"
  printf '%s' "$4" | grep -q '^404 File Not Found' && { [ "$(field "$shown" bold)" = "0-5;9-30" ] || fail "$1: bold $(field "$shown" bold)"; }
  answer Error press --index 0
  done_setup "$1" 1603
  engine_ran && fail "$1: the engine ran"
  return 0
}
not_found() { printf '404 File Not Found...\\n\\nURL:  %s.\\n\\nPlease make sure the file is available and access is allowed to this file.' "$base/$1"; }
missing_file_box miss_apache status/404 apache "$(not_found status/404/apache)"
missing_file_box miss_empty status/404 empty "$(not_found status/404/empty)"
missing_file_box miss_plain status/404 plain "$(not_found status/404/plain)"
missing_file_box gone status/410 nginx "$(not_found status/410/nginx)"
missing_file_box err_page status/500 apache "$(not_found status/500/apache)"
missing_file_box err_plain status/500 plain "$base/status/500/plain --- HTTP status 500"

# ---- a visible download shows its amount and rate behind the status text, and its
# bar moves (the bytes trickle, so the robot can look twice) ----
pack slow.exe --internet --download-location "$base/trickle/8192/100/files" --download-of www/websetup.exe
begin slow "" ./slow.exe
looks=0
first_pos=""
last_pos=""
label=""
while [ $looks -lt 100 ]; do
  shown=$(robot show --title "Vabrix Installation Suite" --timeout 100) || shown=""
  label=$(printf '%s\n' "$shown" | sed -n 's/^child\.0=Static|\([^|]*\)|.*/\1/p')
  pos=$(printf '%s\n' "$shown" | sed -n 's/^child\.1=msctls_progress32|.*|pos=\([0-9]*\)$/\1/p')
  case "$label" in *" KB   -   "*" KB/Sec")
    [ -z "$first_pos" ] && first_pos=$pos
    last_pos=$pos
    [ "$last_pos" -gt "$first_pos" ] && break ;;
  esac
  looks=$((looks + 1))
  kill -0 "$pid_slow" 2>/dev/null || break
done
case "$label" in "Downloading File...   "*" KB   -   "*" KB/Sec") ;; *) fail "slow: status line '$label'" ;; esac
[ -n "$first_pos" ] && [ "$last_pos" -gt "$first_pos" ] || fail "slow: the bar did not move ($first_pos, $last_pos)"
done_setup slow 0
engine_ran || fail "slow: the engine did not run"
echo "setup flow: ok"

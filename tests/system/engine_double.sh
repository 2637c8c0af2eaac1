#!/bin/sh
# The helpers of the setup-flow tests under Wine, and the demo's example engine:
# the engine double records its command line, folder, files and show state, keeps or
# deletes the run atom, exits with any 32-bit code and keeps its dialog window; the
# launcher reads full exit codes back; the atom tool sees the global atoms.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${ENGINE_DOUBLE_EXE:?}" "${EXIT_LAUNCHER_EXE:?}" "${ATOM_TOOL_EXE:?}" "${ENGINE_EXE:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
demo_target=""
trap 'reap_all; rm -rf "$work"; [ -z "$demo_target" ] || rm -rf "$demo_target"' EXIT

atom() { $run "$ATOM_TOOL_EXE" "$@" | tr -d '\r'; }
# Runs the launcher in the foreground with the double's settings (blank-separated
# VAR=VALUE words, or ""); its output is in $work/NAME.out.
launch() { # name settings launcher-args...
  name=$1
  settings=$2
  shift 2
  set +e
  # shellcheck disable=SC2086
  env $settings $run "$EXIT_LAUNCHER_EXE" "$@" >"$work/$name.out" 2>&1
  launcher_rc=$?
  set -e
}
exit_of() { value_of "$1" exit; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The last block of the report (from its pid= line on).
last_block() {
  tr -d '\r' <"$work/report.txt" | awk '/^pid=/{b=""} {b=b $0 "\n"} END{printf "%s", b}'
}
expect_line() { # block line message
  printf '%s' "$1" | grep -qxF -- "$2" && return 0
  printf 'expected line: %s\nin:\n%s\n' "$2" "$1" >&2
  fail "$3"
}

# ---- an unpacked package: the double as Engine.exe and three files beside it ----
pkg="$work/temp dir/SETUP_1"
mkdir -p "$pkg/sub"
cp "$ENGINE_DOUBLE_EXE" "$pkg/Engine.exe"
printf '123456789' >"$pkg/a.txt"
: >"$pkg/b file.dat"
head -c 200000 /dev/urandom >"$pkg/C.bin"
touch -d '2021-01-04 05:06:08' "$pkg/a.txt"
touch -d '2020-02-01 23:59:58' "$pkg/b file.dat"
touch -d '2019-12-24 12:00:00' "$pkg/C.bin"
big_crc=$(python3 -c 'import sys, zlib; print("%08x" % zlib.crc32(open(sys.argv[1], "rb").read()))' "$pkg/C.bin")
wpkg=$(winpath "$pkg")
wcwd=$(winpath "$work")
ENGINE_DOUBLE_REPORT=$(winpath "$work")'\report.txt'
export ENGINE_DOUBLE_REPORT

# Atoms outlive the programs in the shared prefix: no leftovers of an interrupted run.
for t in _123 _124 _125 _126 _321 _322 _323 _555 _556 _557 _558 abc; do
  atom purge "AutoUpdateAtomTokenByVabrix$t" >/dev/null
done

# ---- atom tool: references count ----
atom add AutoUpdateAtomTokenByVabrix_123 | grep -q '^atom=[1-9]' || fail "atom add"
atom add AutoUpdateAtomTokenByVabrix_123 >/dev/null
[ "$(atom delete AutoUpdateAtomTokenByVabrix_123)" = "deleted=1" ] || fail "atom delete"
[ "$(atom find AutoUpdateAtomTokenByVabrix_123)" = "found=1" ] || fail "the second reference went with the first"
[ "$(atom purge AutoUpdateAtomTokenByVabrix_123)" = "deleted=1" ] || fail "atom purge"
[ "$(atom find AutoUpdateAtomTokenByVabrix_123)" = "found=0" ] || fail "atom still there after purge"

# ---- a normal run: command line, folder, files, atom deleted, exit code 0 ----
cmd="$wpkg\\Engine.exe /X /TH_ID=_123 /OriginExe=\"C:\\Dl\\my setup.exe\""
atom add AutoUpdateAtomTokenByVabrix_123 >/dev/null
launch normal "" --cwd "$wcwd" --app "$wpkg\\Engine.exe" --cmdline "$cmd"
[ $launcher_rc -eq 0 ] || fail "launcher exit code $launcher_rc"
[ "$(exit_of normal)" = "0" ] || fail "exit code of a normal run: $(exit_of normal)"
b=$(last_block)
expect_line "$b" "cmdline=$cmd" "command line"
expect_line "$b" "cwd=$wcwd" "current folder"
expect_line "$b" "exe=$wpkg\\Engine.exe" "own path"
expect_line "$b" "token=_123" "token"
expect_line "$b" "atom_found=1" "atom at start"
expect_line "$b" "show=10" "show state without a flag"
expect_line "$b" "atom_deleted=1" "atom deleted"
expect_line "$b" "atom_after=0" "atom gone"
[ "$(printf '%s' "$b" | grep -E '^(file|dir)=')" = "file=a.txt|9|2021-01-04 05:06:08|cbf43926
file=b file.dat|0|2020-02-01 23:59:58|00000000
file=C.bin|200000|2019-12-24 12:00:00|$big_crc
dir=sub" ] || fail "files beside the engine: $b"
[ "$(printf '%s' "$b" | tail -1)" = "done=1" ] || fail "the block does not end with done=1"
[ "$(atom find AutoUpdateAtomTokenByVabrix_123)" = "found=0" ] || fail "the atom stayed after a run that deletes it"

# ---- atom kept, exit code 259, started hidden; the report grows by one block ----
atom add AutoUpdateAtomTokenByVabrix_124 >/dev/null
launch kept "ENGINE_DOUBLE_ATOM=keep ENGINE_DOUBLE_EXIT=259" --show 0 --cmdline "$wpkg\\Engine.exe /TH_ID=_124"
[ "$(exit_of kept)" = "259" ] || fail "exit code 259 read back as $(exit_of kept)"
b=$(last_block)
expect_line "$b" "show=0" "hidden start"
expect_line "$b" "atom_found=1" "kept atom at start"
expect_line "$b" "atom_deleted=0" "kept atom deleted"
expect_line "$b" "atom_after=1" "kept atom"
[ "$(atom find AutoUpdateAtomTokenByVabrix_124)" = "found=1" ] || fail "the atom was not kept"
atom purge AutoUpdateAtomTokenByVabrix_124 >/dev/null
[ "$(tr -d '\r' <"$work/report.txt" | grep -cx 'done=1')" = "2" ] || fail "the second run did not append its block"

# ---- exit codes above 8 bits, no atom at all ----
for code in 300 65536 4294967295; do
  launch code "ENGINE_DOUBLE_EXIT=$code" --cmdline "$wpkg\\Engine.exe /TH_ID=_125"
  [ "$(exit_of code)" = "$code" ] || fail "exit code $code read back as $(exit_of code)"
done
expect_line "$(last_block)" "atom_found=0" "no atom added"
expect_line "$(last_block)" "atom_deleted=0" "no atom to delete"

# ---- the launcher builds the command line from separate arguments ----
launch args "" "$wpkg\\Engine.exe" '/OriginExe=C:\a b\s.exe' 'say "hi"' 'C:\dir\' 'end b\' /TH_ID=_126
[ "$(exit_of args)" = "0" ] || fail "argument run"
expect_line "$(last_block)" "cmdline=\"$wpkg\\Engine.exe\" \"/OriginExe=C:\\a b\\s.exe\" \"say \\\"hi\\\"\" C:\\dir\\ \"end b\\\\\" /TH_ID=_126" "quoted arguments"

# ---- programs that cannot start: the launcher says so by its own exit code ----
launch missing "" --cmdline "$wpkg\\NoSuch.exe /TH_ID=_1"
[ $launcher_rc -eq 2 ] || fail "a missing program gave launcher code $launcher_rc"
printf 'not a program\r\n' >"$work/Broken.exe"
launch broken "" --cmdline "$(winpath "$work")\\Broken.exe"
[ $launcher_rc -eq 2 ] || fail "a file that is no program gave launcher code $launcher_rc"
grep -q '^exit=' "$work/broken.out" && fail "an exit code for a program that never ran"

# ---- the dialog window: kept for N ms while the engine runs ----
t0=$(now_ms)
export ENGINE_DOUBLE_DIALOG_MS=3000
start dialog "$EXIT_LAUNCHER_EXE" --cmdline "$wpkg\\Engine.exe /TH_ID=_321"
unset ENGINE_DOUBLE_DIALOG_MS
robot wait --class ".SDialog_Class_Name._321" --timeout 30000 >/dev/null || fail "no dialog window"
eval "pid=\$pid_dialog"
kill -0 "$pid" 2>/dev/null || fail "the engine ended while its dialog was up"
robot waitgone --class ".SDialog_Class_Name._321" --hidden --timeout 30000 || fail "the dialog window stayed"
finish dialog
t1=$(now_ms)
[ $((t1 - t0)) -ge 3000 ] || fail "the dialog run took only $((t1 - t0)) ms"
[ "$(value_of dialog exit)" = "0" ] || fail "dialog run exit code"
held=$(last_block | sed -n 's/^dialog_ms=//p')
[ "$held" -ge 3000 ] || fail "the dialog was up for $held ms"

# ---- the dialog window outlasts the engine (hidden, in a helper process) ----
launch after "ENGINE_DOUBLE_DIALOG_MS=4000 ENGINE_DOUBLE_DIALOG_AFTER=1" --show 0 --cmdline "$wpkg\\Engine.exe /TH_ID=_322"
[ "$(exit_of after)" = "0" ] || fail "dialog-after run exit code"
robot wait --class ".SDialog_Class_Name._322" --hidden --timeout 1000 >/dev/null ||
  fail "the dialog window did not outlast the engine"
if robot wait --class ".SDialog_Class_Name._322" --timeout 300 >/dev/null; then
  fail "the dialog of a hidden engine was visible"
fi
robot waitgone --class ".SDialog_Class_Name._322" --hidden --timeout 30000 || fail "the helper's dialog stayed"

# ---- a long install ----
t0=$(now_ms)
launch sleep "ENGINE_DOUBLE_SLEEP_MS=1500 ENGINE_DOUBLE_EXIT=7" --cmdline "$wpkg\\Engine.exe /TH_ID=_323"
t1=$(now_ms)
[ "$(exit_of sleep)" = "7" ] || fail "sleep run exit code"
[ $((t1 - t0)) -ge 1500 ] || fail "the long install took only $((t1 - t0)) ms"
expect_line "$(last_block)" "done=1" "sleep run report"

# ---- the example engine installs what lies beside it ----
src="$work/engine temp/SETUP_2"
mkdir -p "$src/sub"
cp "$ENGINE_EXE" "$src/Engine.exe"
printf 'read me\r\n' >"$src/readme.txt"
printf 'data' >"$src/Data File.bin"
printf 'copy' >"$src/Y_setup.exe"
printf 'part' >"$src/piece.tmp"
wsrc=$(winpath "$src")
target="$work/install to/app"
wtarget=$(winpath "$work")'\install to\app'
atom add AutoUpdateAtomTokenByVabrix_555 >/dev/null
ecmd="$wsrc\\Engine.exe /S /TARGET=\"$wtarget\" /TH_ID=_555 /OriginExe=\"C:\\Dl\\my setup.exe\""
launch engine "" --cwd "$wcwd" --app "$wsrc\\Engine.exe" --cmdline "$ecmd"
[ "$(exit_of engine)" = "0" ] || fail "the example engine failed: $(cat "$work/engine.out")"
[ "$(cd "$target" && ls | sort)" = "Data File.bin
install.log
readme.txt" ] || fail "installed files: $(ls "$target")"
cmp -s "$src/readme.txt" "$target/readme.txt" || fail "readme.txt changed on the way"
cmp -s "$src/Data File.bin" "$target/Data File.bin" || fail "Data File.bin changed on the way"
log=$(tr -d '\r' <"$target/install.log")
expect_line "$log" "cmdline=$ecmd" "install.log command line"
expect_line "$log" "cwd=$wcwd" "install.log current folder"
expect_line "$log" "copied=readme.txt" "install.log copies"
expect_line "$log" "copied=Data File.bin" "install.log copies"
[ "$(atom find AutoUpdateAtomTokenByVabrix_555)" = "found=0" ] || fail "the example engine kept the atom after success"

# A target it cannot create: exit code 1, the atom stays for the stub to see.
printf 'x' >"$work/blocker"
atom add AutoUpdateAtomTokenByVabrix_556 >/dev/null
launch engine_fail "" --cmdline "$wsrc\\Engine.exe /S /TARGET=$(winpath "$work")\\blocker\\app /TH_ID=_556"
[ "$(exit_of engine_fail)" = "1" ] || fail "a failed install gave exit code $(exit_of engine_fail)"
[ "$(atom find AutoUpdateAtomTokenByVabrix_556)" = "found=1" ] || fail "a failed install deleted the atom"
atom purge AutoUpdateAtomTokenByVabrix_556 >/dev/null

# One file that cannot be copied (a folder of its name is in the way): the others
# are copied, the log tells, exit code 1 and the atom stays.
mkdir -p "$work/half/readme.txt"
atom add AutoUpdateAtomTokenByVabrix_558 >/dev/null
launch engine_half "" --cmdline "$wsrc\\Engine.exe /S /TARGET=$(winpath "$work")\\half /TH_ID=_558"
[ "$(exit_of engine_half)" = "1" ] || fail "a failed copy gave exit code $(exit_of engine_half)"
[ "$(atom find AutoUpdateAtomTokenByVabrix_558)" = "found=1" ] || fail "a failed copy deleted the atom"
atom purge AutoUpdateAtomTokenByVabrix_558 >/dev/null
cmp -s "$src/Data File.bin" "$work/half/Data File.bin" || fail "the other file was not copied"
log=$(tr -d '\r' <"$work/half/install.log")
expect_line "$log" "copied=Data File.bin" "install.log of a failed copy"
expect_line "$log" "result=failed" "install.log result of a failed copy"
printf '%s\n' "$log" | grep -q '^error=cannot copy readme.txt' || fail "install.log does not name the failed copy"

# A token that is not "_" + digits names no atom of the stub's: left alone.
atom add AutoUpdateAtomTokenByVabrixabc >/dev/null
launch engine_token "" --cmdline "$wsrc\\Engine.exe /S /TARGET=\"$wtarget\" /TH_ID=abc"
[ "$(exit_of engine_token)" = "0" ] || fail "install with an odd token"
[ "$(atom find AutoUpdateAtomTokenByVabrixabc)" = "found=1" ] || fail "an atom of a malformed token was deleted"
atom purge AutoUpdateAtomTokenByVabrixabc >/dev/null

# An update run installs where the original-settings file beside the information file
# says (TargetDir, placeholders expanded), leaves the original-settings files alone
# and writes the offered version into DemoApp.ini; a TargetDir it cannot expand
# installs nothing and keeps the atom.
agent="$work/agent"
product="$WINE_ENV/prefix/drive_c/engine product"
rm -rf "$product"
mkdir -p "$agent"
printf '[DemoApp]\r\nVersion=1\r\n' >"$src/DemoApp.ini"
printf '[Directories]\r\nTargetDir=from the package\r\n' >"$src/App.original"
printf '[Directories]\r\nTargetDir=<ProgramFilesDir>\\..\\engine product\r\n' >"$agent/App.original"
printf '[NewSetup]\r\nVersionNew=7\r\n' >"$agent/App.setup.info"
winfo="$(winpath "$agent")\\App.setup.info"
atom add AutoUpdateAtomTokenByVabrix_559 >/dev/null
launch engine_update "" --cmdline "$wsrc\\Engine.exe /OriginalInfoFile=\"$winfo\" /TH_ID=_559 /AutoUpdateProg"
[ "$(exit_of engine_update)" = "0" ] || fail "the update run failed: $(tr -d '\r' <"$agent/install.log" 2>/dev/null)"
[ "$(atom find AutoUpdateAtomTokenByVabrix_559)" = "found=0" ] || fail "the update run kept the atom"
[ -f "$product/readme.txt" ] || fail "the update run did not install into TargetDir"
[ ! -f "$product/App.original" ] || fail "the update run installed an original-settings file"
[ "$(tr -d '\r' <"$product/DemoApp.ini" | sed -n 's/^Version=//p')" = 7 ] || fail "no Version=7 in DemoApp.ini"
rm -rf "$product"
printf '[Directories]\r\nTargetDir=<ProgramFilesDir>\\<Nowhere>\r\n' >"$agent/App.original"
atom add AutoUpdateAtomTokenByVabrix_560 >/dev/null
launch engine_update_bad "" --cmdline "$wsrc\\Engine.exe /OriginalInfoFile=\"$winfo\" /TH_ID=_560 /AutoUpdateProg"
[ "$(exit_of engine_update_bad)" = "1" ] || fail "an unknown placeholder in TargetDir gave exit code $(exit_of engine_update_bad)"
[ "$(atom find AutoUpdateAtomTokenByVabrix_560)" = "found=1" ] || fail "a refused update run deleted the atom"
atom purge AutoUpdateAtomTokenByVabrix_560 >/dev/null
tr -d '\r' <"$agent/install.log" | grep -q '^error=no usable \[Directories\] TargetDir' ||
  fail "the refused update run left no log beside the information file"
rm -f "$src/DemoApp.ini" "$src/App.original"

# Without /TARGET it installs under Program Files.
demo_target=$($run winepath -u 'C:\Program Files\Vabrix Demo' 2>/dev/null | tr -d '\r')
[ -n "$demo_target" ] || fail "no Program Files folder"
rm -rf "$demo_target"
launch engine_default "" --cmdline "$wsrc\\Engine.exe /TH_ID=_557"
[ "$(exit_of engine_default)" = "0" ] || fail "install to the default target"
[ -f "$demo_target/readme.txt" ] && [ -f "$demo_target/install.log" ] || fail "nothing in $demo_target"
echo "engine double: ok"

#!/bin/sh
# The stub's extraction under Wine on packages from stubpack: real files in a real
# folder, progress calls, the agent file, the insert-disk prompt answered by the
# dialog robot (OK once the disk is in, and Cancel), and a full drive.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${UNPACK_DRIVER:?}" "${STUBPACK_EXE:?}" "${STUB_EXE:?}"
work=$(mktemp -d)
small=""
. "$(dirname "$0")/../support/robot-lib.sh"
cleanup() {
  reap_all
  [ -n "$small" ] && { rm -f "$WINE_ENV/prefix/dosdevices/f:"; umount "$small" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
drive_c="$WINE_ENV/prefix/drive_c"
pack() { $run "$STUBPACK_EXE" build --stub "$STUB_EXE" "$@" >/dev/null 2>&1 || fail "stubpack $*"; }
extract() { # name package target args...
  name=$1
  shift
  $run "$UNPACK_DRIVER" "$@" >"$work/$name.out" 2>&1 || fail "$name: the driver failed"
}
line() { tr -d '\r' <"$work/$1.out" | grep -qFx "$2"; }

mkdir -p "$work/files"
head -c 3000000 /dev/urandom >"$work/files/random.bin"
yes "a line of setup text that compresses well" | head -c 20000000 >"$work/files/text.txt"
printf 'MZ engine stand-in' >"$work/files/Engine.exe"
touch -d '2021-03-04 05:06:08' "$work/files/text.txt"
cd "$work"

# ---- a whole package ----
pack -o setup.exe --main Engine.exe --main-args "/S" files
rm -rf "$drive_c/x1"
extract whole setup.exe 'C:\x1' --agent 'Sub\Agent.exe'
for f in random.bin text.txt Engine.exe; do
  cmp -s "files/$f" "$drive_c/x1/$f" || fail "$f differs after extraction"
done
[ "$(stat -c %Y "$drive_c/x1/text.txt")" = "$(stat -c %Y files/text.txt)" ] || fail "text.txt lost its date"
line whole 'progress=0,0' || fail "no reset"
line whole 'progress=0,3' || fail "no range of 3 records"
line whole 'steps=3' || fail "one step per file"
line whole 'run=Engine.exe*/S' || fail "run command"
line whole 'crc=1' || fail "crc"
line whole 'trace=FileInfo.FilesCount=3' || fail "FilesCount trace"
line whole 'trace= New AU-Agent: C:\x1\Agent.exe' || fail "agent trace"
# The agent is the stub with the package's header strings and the agent flag.
$run "$STUBPACK_EXE" list "$drive_c/x1/Agent.exe" | tr -d '\r' >agent.txt
grep -Eq 'ThisIs_AutoUpdateProg +1' agent.txt || fail "the agent file is no agent: $(cat agent.txt)"
# No files behind it: the stub image, the header strings and the trailer only.
[ "$(stat -c %s "$drive_c/x1/Agent.exe")" -lt "$(($(stat -c %s "$STUB_EXE") + 1024))" ] || fail "the agent carries files"
cmp -s -n 248 "$STUB_EXE" "$drive_c/x1/Agent.exe" || fail "the agent does not start with the stub image"
[ ! -e "$drive_c/x1/~Agent.exe.tmp" ] || fail "the agent's temporary file stayed"

# A second extraction into the same folder replaces, never appends.
extract again setup.exe 'C:\x1'
cmp -s files/text.txt "$drive_c/x1/text.txt" || fail "a second run appended to its own files"

# ---- a spanned set: the robot answers the disk prompt ----
pack -o span.exe --piece-size 1m --main Engine.exe files
[ -f span.exe.002 ] || fail "no second piece"
mv span.exe.002 hidden.002
start disk "$UNPACK_DRIVER" span.exe 'C:\x2'
robot wait --class VMsgBox --title Attention --timeout 30000 >/dev/null || fail "no disk prompt"
d=$(robot show --class VMsgBox --title Attention)
[ "$(field "$d" text)" = 'ATTENTION\n\nPlease insert DISK #2 and press OK to continue\n' ] || fail "prompt text: $(field "$d" text)"
[ "$(field "$d" bold)" = "0-9;27-34" ] || fail "prompt bold: $(field "$d" bold)"
[ "$(robot send --class VMsgBox --title Attention --message QueryCancelAutoPlay)" = result=1 ] ||
  fail "AutoPlay is not cancelled during the prompt"
mv hidden.002 span.exe.002
robot press --class VMsgBox --title Attention --button OK >/dev/null || fail "press OK"
finish disk
line disk 'run=Engine.exe*' || fail "the spanned set did not finish after OK"
cmp -s files/random.bin "$drive_c/x2/random.bin" || fail "random.bin across pieces differs"
cmp -s files/text.txt "$drive_c/x2/text.txt" || fail "text.txt across pieces differs"

mv span.exe.002 hidden.002
start cancel "$UNPACK_DRIVER" span.exe 'C:\x3'
robot wait --class VMsgBox --title Attention --timeout 30000 >/dev/null || fail "no disk prompt (cancel)"
robot press --class VMsgBox --title Attention --button Cancel >/dev/null || fail "press Cancel"
finish cancel
line cancel 'run=' || fail "a cancelled prompt kept the run command"
line cancel 'cancelled=1' || fail "not reported as cancelled"
mv hidden.002 span.exe.002

# ---- a full drive: a 4 MB drive F: takes only part of the files ----
small=$(mktemp -d)
if mount -t tmpfs -o size=4m tmpfs "$small" 2>/dev/null; then
  ln -sfn "$small" "$WINE_ENV/prefix/dosdevices/f:"
  start full "$UNPACK_DRIVER" setup.exe 'F:\x4'
  robot wait --class VMsgBox --title Error --timeout 30000 >/dev/null || fail "no box for the full drive"
  d=$(robot show --class VMsgBox --title Error)
  field "$d" text | grep -q 'Unable to save Extracted File!' || fail "full drive box: $(field "$d" text)"
  field "$d" text | grep -q 'Bytes Free:' || fail "no free-space report: $(field "$d" text)"
  robot press --class VMsgBox --title Error --index 0 >/dev/null
  finish full
  line full 'run=' || fail "an incomplete tree kept its run command"
  tr -d '\r' <"$work/full.out" | grep -Eq '^failed_writes=[1-9]' || fail "no failed write counted"
else
  echo "full drive: skipped (tmpfs cannot be mounted here)"
fi
echo "extraction: ok"

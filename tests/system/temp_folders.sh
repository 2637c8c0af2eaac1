#!/bin/sh
# The setup temp folder and the alternative temp folder under Wine: two setups with
# the same time of day never share a folder, a leftover is emptied on the next start,
# and the alternative folder goes to the other fixed drive with more room.
set -eu
: "${WINE_ENV:?}" "${TEMP_FOLDER_PROBE:?}"
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/tests/support/wine-run.sh $WINE_ENV"
dosdevices="$WINE_ENV/prefix/dosdevices"
work=$(mktemp -d)
drive_d=""
holder=""
fail() { echo "FAIL: $*" >&2; for f in "$work"/*.out; do [ -f "$f" ] && { echo "== $f" >&2; cat "$f" >&2; }; done; exit 1; }
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  [ -n "$drive_d" ] && { rm -f "$dosdevices/d:"; rm -rf "$drive_d"; }
  rm -rf "$work"
}
trap cleanup EXIT
value() { tr -d '\r' <"$2" | sed -n "s/^$1=//p" | head -1; }
wait_line() { # file line message
  i=0
  until tr -d '\r' 2>/dev/null <"$1" | grep -qx "$2"; do
    [ $i -lt 300 ] || fail "$3"
    sleep 0.1
    i=$((i + 1))
  done
}

# Two setup files in different folders carrying the same file time.
mkdir -p "$work/a" "$work/b"
cp "$TEMP_FOLDER_PROBE" "$work/a/setup.exe"
cp "$TEMP_FOLDER_PROBE" "$work/b/setup.exe"
touch -d '2024-05-06 17:03:09' "$work/a/setup.exe" "$work/b/setup.exe"

# A holds its folder; B starts meanwhile and must get its own.
$run "$work/a/setup.exe" take --hold "$work/release" >"$work/a.out" 2>&1 &
holder=$!
wait_line "$work/a.out" holding "the first setup did not take its folder"
folder_a=$(value folder "$work/a.out")
printf "%s\n" "$folder_a" | grep -Eq '\\SETUP_[0-9]+$' || fail "first folder is not SETUP_<time>: $folder_a"
$run "$work/b/setup.exe" take >"$work/b.out" 2>&1 || fail "second setup failed"
folder_b=$(value folder "$work/b.out")
[ "$folder_b" = "${folder_a}_1" ] || fail "second setup did not get its own folder: $folder_b"
[ "$(value leftover "$work/b.out")" = 0 ] || fail "second setup saw the first one's files"
[ "$(value removed "$work/b.out")" = 1 ] || fail "second setup did not remove its folder"

touch "$work/release"
wait "$holder" || fail "first setup failed"
holder=""
[ "$(value mine-intact "$work/a.out")" = 1 ] || fail "the second setup touched the first one's folder"
[ "$(value removed "$work/a.out")" = 1 ] || fail "first setup did not remove its folder"

# A leftover of a run that ended without cleaning up: the next start of the same file
# takes the same name and empties it first.
unix_a=$($run winepath -u "$folder_a" 2>/dev/null | tr -d '\r')
mkdir -p "$unix_a"
echo stale >"$unix_a/owner.txt"
$run "$work/a/setup.exe" take >"$work/again.out" 2>&1 || fail "restart failed"
[ "$(value folder "$work/again.out")" = "$folder_a" ] || fail "restart did not reuse the name"
[ "$(value leftover "$work/again.out")" = 0 ] || fail "the leftover was not emptied"
[ ! -e "$unix_a" ] || fail "the reused folder stayed behind"

# A setup file dated before 1980 (no DOS date) is still named by its time of day.
mkdir -p "$work/old"
cp "$TEMP_FOLDER_PROBE" "$work/old/setup.exe"
touch -d '1975-03-04 10:20:30' "$work/old/setup.exe"
$run "$work/old/setup.exe" take >"$work/old.out" 2>&1 || fail "old setup failed"
value folder "$work/old.out" | grep -Eq '\\SETUP_21135$' || fail "pre-1980 name: $(value folder "$work/old.out")"

# Temp folder on a second fixed drive D: (in memory here); C: has more room, so the
# alternative folder goes to C: and is made new by this process.
drive_d=$(mktemp -d /dev/shm/stubtest-d.XXXXXX)
mkdir -p "$drive_d/tmp"
ln -sfn "$drive_d" "$dosdevices/d:"
had_c_temp=0
[ -d "$WINE_ENV/prefix/drive_c/TEMP" ] && had_c_temp=1
$run "$TEMP_FOLDER_PROBE" --temp 'D:\tmp' alt >"$work/alt.out" 2>&1 || fail "alt probe failed"
[ "$(value temp "$work/alt.out")" = 'D:\tmp\' ] || fail "temp folder is not on D:"
free_c=$(value drive.C "$work/alt.out" | cut -d, -f2)
free_d=$(value tempfree "$work/alt.out")
[ "$(value drive.D "$work/alt.out" | cut -d, -f1)" = 3 ] || fail "D: is not a fixed drive under Wine"
folder=$(value folder "$work/alt.out")
if [ "$free_c" -gt "$free_d" ]; then
  [ "$(value chosen "$work/alt.out")" = 1 ] || fail "C: has more room but was not chosen"
  printf "%s\n" "$folder" | grep -Eq '^C:\\TEMP(\\TEMP)?_[0-9]{5,6}$' || fail "alternative folder name: $folder"
  [ "$(value exists "$work/alt.out")" = 1 ] || fail "alternative folder not made"
else
  [ "$(value chosen "$work/alt.out")" = 0 ] || fail "D: has the most room, yet another drive was chosen"
fi
[ "$(value removed "$work/alt.out")" = 1 ] || fail "alternative folder stayed behind"
# The probes removed what they made and nothing else.
[ -d "$WINE_ENV/prefix/drive_c/TEMP" ] && [ $had_c_temp = 0 ] && fail "the probe left C:\\TEMP behind"
[ -z "$(ls "$drive_d" | grep -v '^tmp$')" ] || fail "the probe left something on D:"
printf "temp folders: ok (%s, %s, %s)\n" "$folder_a" "$folder_b" "$folder"

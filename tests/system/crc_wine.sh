#!/bin/sh
# The CRC-32 of every piece, checked by the real Stub.exe under Wine: packages that
# only the CRC guards (stored records, header strings, pieces above 50 KB) with one
# flipped byte end with "Bad CRC!", exit code 1620 and no engine run; a package of
# an older builder (no CRC) still installs, and so does one with a CRC.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${ENGINE_DOUBLE_EXE:?}"
: "${EXIT_LAUNCHER_EXE:?}" "${VDEBUG_EXE:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
prefix="$WINE_ENV/prefix"
cleanup() {
  reap_all
  rm -rf "$work"
}
trap cleanup EXIT

ENGINE_DOUBLE_REPORT="$(winpath "$work")\\report.txt"
export ENGINE_DOUBLE_REPORT
pack() { # output args...
  out=$1
  shift
  $run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$out" "$@" >"$work/pack.log" 2>&1 || fail "stubpack $*: $(cat "$work/pack.log")"
}
# Flips the middle byte of the first occurrence of a text in a file.
flip() { # file text
  python3 - "$1" "$2" <<'EOF' || fail "cannot flip a byte of '$2' in $1"
import sys
path, text = sys.argv[1], sys.argv[2].encode()
data = bytearray(open(path, "rb").read())
at = data.find(text)
if at < 0 or data.find(text, at + 1) >= 0:
    sys.exit("not found exactly once")
data[at + len(text) // 2] ^= 0x01
open(path, "wb").write(data)
EOF
}
begin() { # name program args...
  name=$1
  shift
  rm -f "$work/report.txt"
  $run "$EXIT_LAUNCHER_EXE" "$@" >"$work/$name.out" 2>&1 &
  eval "pid_$name=$!"
  started="$started $!"
}
done_setup() { # name expected-exit
  finish "$1"
  [ "$(value_of "$1" exit)" = "$2" ] || fail "$1: exit code $(value_of "$1" exit), expected $2"
  [ -z "$(temp_dirs)" ] || fail "$1: temp folders left: $(temp_dirs)"
}
engine_ran() { [ -f "$work/report.txt" ] && tr -d '\r' <"$work/report.txt" | grep -qx 'done=1'; }
traced_since() { # line-count pattern
  tail -n +"$(($1 + 1))" "$work/trace.txt" | tr -d '\r' | grep -q "$2"
}
# A damaged setup: the box says "Bad CRC!", the trace names the piece, nothing runs.
expect_bad_crc() { # name piece-number expected-exit program args...
  name=$1 piece=$2 code=$3
  shift 3
  before=$(wc -l <"$work/trace.txt")
  begin "$name" "$@"
  text=$(box_text Error)
  printf '%s' "$text" | grep -q 'Bad CRC!' || fail "$name: box text $text"
  robot press --class VMsgBox --title Error --index 0 >/dev/null || fail "$name: cannot answer the box"
  done_setup "$name" "$code"
  engine_ran && fail "$name: the engine ran"
  traced_since "$before" "damaged package: piece $piece fails its CRC-32 (stored 0x" ||
    fail "$name: no trace of the CRC of piece $piece: $(tail -n +"$((before + 1))" "$work/trace.txt")"
}

start_viewer

mkdir -p "$work/files"
cp "$ENGINE_DOUBLE_EXE" "$work/files/Engine.exe"
printf 'CRC probe: a text stored as it is\r\n' >"$work/files/probe.txt"
head -c 600000 /dev/urandom >"$work/files/blob.bin"
printf '[English]\ns9=CRC probe of the header strings\n' >"$work/languages.ini"
cd "$work"

# ---- stored records: one flipped byte of a file's data ----
pack stored.exe --store --main Engine.exe files
cp stored.exe body.exe
flip body.exe 'CRC probe: a text stored as it is'
expect_bad_crc body 1 1620 ./body.exe /hide
# The same package unchanged installs.
begin stored ./stored.exe /hide
done_setup stored 0
engine_ran || fail "stored: the engine did not run"

# ---- a header string: one flipped byte of the language list ----
pack header.exe --languages languages.ini --main Engine.exe files
flip header.exe 'CRC probe of the header strings'
expect_bad_crc header 1 1620 ./header.exe

# ---- a spanned set with a flipped byte on piece 2, started as the user starts it:
# the first level hands over to its "Y_" copy, which reads piece 1, then piece 2 ----
mkdir -p disk
pack disk/span.exe --store --piece-size 400k --main Engine.exe files
[ -f disk/span.exe.002 ] || fail "span: no second piece"
python3 -c 'import sys; p = sys.argv[1]; b = bytearray(open(p, "rb").read()); b[len(b) // 2] ^= 1; open(p, "wb").write(b)' disk/span.exe.002
before=$(wc -l <trace.txt)
begin span ./disk/span.exe /hide
finish span  # the first level ends at once
text=$(box_text Error)
printf '%s' "$text" | grep -q 'Bad CRC!' || fail "span: box text $text"
robot press --class VMsgBox --title Error --index 0 >/dev/null || fail "span: cannot answer the box"
i=0
until [ -z "$(temp_dirs)" ]; do [ $i -lt 300 ] || fail "span: temp folders left: $(temp_dirs)"; sleep 0.1; i=$((i + 1)); done
engine_ran && fail "span: the engine ran"
traced_since "$before" 'damaged package: piece 2 fails its CRC-32' || fail "span: no trace of piece 2"
# The second level itself: its exit code.
expect_bad_crc span2 2 1620 ./disk/span.exe /SpanCdLvl=2 /hide

# ---- a package of an older builder: no CRC, installs as before ----
pack old.exe --no-crc --store --main Engine.exe files
begin old ./old.exe /hide
done_setup old 0
engine_ran || fail "old: the engine did not run"
tr -d '\r' <report.txt | grep -q '^file=probe.txt|35|' || fail "old: probe.txt beside the engine"
echo "crc: ok"

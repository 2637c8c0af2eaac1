#!/bin/sh
# Signed releases end to end under Wine: a vendor key made by the native stubpack, an
# agent "C:\agent dir\Agent.exe" that pins it, information files signed by
# "stubpack release" on the vendor-server double. A signed release installs; an
# information file changed after signing, one signed by another key, an unsigned one
# and a package with one byte changed after the release are refused with nothing run
# and nothing but the download deleted; a replayed older signed file offers nothing;
# the same agent where bcrypt.dll cannot load refuses every file; an agent without a
# key still updates and says its channel is unsigned. Last an internet stub runs its
# setup file only while that file's SHA-256 is the one its header names.
# NATIVE_STUBPACK: the native stubpack (keygen and release); without it the test is
# skipped (exit 77). CASES="a b" runs only those cases.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${VDEBUG_EXE:?}"
: "${AGENT_CONTROLLER_EXE:?}" "${ENGINE_DOUBLE_EXE:?}" "${EXIT_LAUNCHER_EXE:?}"
if [ ! -x "${NATIVE_STUBPACK:-}" ]; then
  echo "skipped: no native stubpack (set NATIVE_STUBPACK to build/native/stubpack or the like)"
  exit 77
fi
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
. "$(dirname "$0")/../support/agent-lib.sh"
# Wine's load order for one program: an empty value for a DLL means it never loads.
appkey='HKCU\Software\Wine\AppDefaults\X_Agent.exe'
cleanup() {
  close_boxes
  stop_agents
  $run reg delete "$appkey" /f >/dev/null 2>&1 || true
  reap_all
  stop_server
  rm -rf "$work" "$dir"
}
trap cleanup EXIT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
rm -rf "$dir"
mkdir -p "$dir/App"
cd "$work"
ENGINE_DOUBLE_REPORT="$(winpath "$work")\\report.txt"
export ENGINE_DOUBLE_REPORT

native() { "$NATIVE_STUBPACK" "$@" >"$work/native.log" 2>&1 || fail "stubpack $1: $(cat "$work/native.log")"; }
pack() { # output args...
  out=$1
  shift
  $run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o "$out" "$@" >"$work/pack.log" 2>&1 || fail "stubpack: $(cat "$work/pack.log")"
}
# One byte of the DOS stub changed: the file still reads as a package of the same
# size and token, only its digest tells.
flip() { python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(100); b = f.read(1); f.seek(100); f.write(bytes([b[0] ^ 1]))' "$1"; }

native keygen -o vendor
native keygen -o other
token=Secret42
cp "$ENGINE_DOUBLE_EXE" Engine.exe
start_server
url="http://127.0.0.1:$port/vendor"
pack srv/Update.exe --main Engine.exe --token "$token" Engine.exe
cp srv/Update.exe Update.good
keyed_agent() { pack_agent --info-location "$url" --token "$token" --update-key "$work/vendor.pub"; }
keyed_agent

# ---- the releases: version 5 for the installed 4, an older 4, one by another key ----
printf '[NewSetup]\r\nProgramName=Demo App\r\n' >template.ini
release() { # output version key [more release arguments]
  o=$1 v=$2 k=$3
  shift 3
  SOURCE_DATE_EPOCH=1 native release --key "$k" --setup srv/Update.exe --version "$v" --download-location "$url" \
    --template template.ini --shutdown-method "Don't Shut Down" --running-process '<InstallDir>App.exe' -o "$o" "$@"
}
release signed5.info 5 vendor.key --agent "$dir/Agent.exe"
release signed4.info 4 vendor.key --agent "$dir/Agent.exe"
release other5.info 5 other.key
"$NATIVE_STUBPACK" verify signed5.info --key vendor.pub >/dev/null 2>&1 || fail "the release does not verify"
# The same offer as the vendor wrote it before releases were signed.
sed '/^\[Signature\]/,$d' signed5.info >unsigned.info
! grep -q Signature unsigned.info || fail "the unsigned file still has a signature"
# One key of the signed part changed afterwards.
tamper() { # key value output
  python3 - "$1" "$2" "$3" <<'EOF'
import sys
key, value, out = sys.argv[1:]
lines = open("signed5.info", "rb").read().split(b"\r\n")
hits = [i for i, l in enumerate(lines) if l.startswith(key.encode() + b"=")]
assert len(hits) == 1, key
lines[hits[0]] = (key + "=" + value).encode()
open(out, "wb").write(b"\r\n".join(lines))
EOF
}

original() { # VersionOriginal
  printf '[OriginalSetup]\r\nVersionOriginal=%s\r\nStamp=0\r\nProbeSecondsInterval=-1\r\nProgramName=Demo App\r\n[Directories]\r\nTargetDir=<SrcDir>App\r\n[AutoUpdate]\r\ns16=PROG_NAME is up to date.\r\n' \
    "$1" >"$dir/Agent.original"
}
# The vendor publishes this information file; the product has this version (4); the
# last good copy the agent holds is the signed offer; the agent's restart after an
# install is held back.
begin() { # information-file [version]
  cp "$1" srv/Agent.info
  original "${2:-4}"
  cp signed5.info "$dir/Agent.info"
  rm -f report.txt
  web log/clear >/dev/null
  controller stop "$class" 900 >/dev/null || fail "cannot reach the agent"
}
# The agent's files are all there; the package only when it is the vendor's own.
files_kept() { # what
  for f in Agent.exe X_Agent.exe Agent.original X_Agent.log; do [ -f "$dir/$f" ] || fail "$1: $f was deleted"; done
  cmp -s srv/Update.exe Update.good || cmp -s srv/Update.exe Update.flipped || fail "$1: the vendor's package changed"
}
# The information file was refused: nothing else fetched or run, the last good copy kept.
refused() { # what why
  probe_decides "$1" 0 "Bad signature"
  logged "ERROR: Bad signature ($2): $url/Agent.info" || fail "$1: $(log_new | grep ERROR || echo 'no ERROR line')"
  cmp -s "$dir/Agent.info" signed5.info || fail "$1: the last good information file was replaced"
  web log | grep -qx "GET /vendor/Agent.info" || fail "$1: not fetched"
  [ -z "$(web log | grep -v ' /vendor/Agent.info$')" ] || fail "$1: the server was asked: $(web log | tr '\n' ' ')"
  [ ! -f report.txt ] || fail "$1: the engine ran"
  [ "$(setting VersionOriginal)" = 4 ] || fail "$1: VersionOriginal $(setting VersionOriginal)"
  files_kept "$1"
}
recover() {
  close_boxes
  stop_agents
  $run reg delete "$appkey" /f >/dev/null 2>&1 || true
  cp Update.good srv/Update.exe
  keyed_agent
  new_transient plain
}

start_viewer
original 4
cp signed5.info "$dir/Agent.info"
new_transient plain

case_signed_release() {
  begin signed5.info
  fire "signed release"
  installed "signed release"
  ! log_new | grep -E 'ERROR|unsigned' || fail "signed release: the log complains"
}
run_case signed_release case_signed_release

case_tampered_info() {
  for change in "RunningProcess=C:\\windows\\explorer.exe" "ShutDownMethod=Using Terminate Process" \
    "VersionNew=6" "DownloadURL_UPDATE=http://127.0.0.1:$port/vendor/elsewhere"; do
    tamper "${change%%=*}" "${change#*=}" tampered.info
    begin tampered.info
    refused "changed ${change%%=*}" "the signature does not match the vendor's key"
  done
}
run_case tampered_info case_tampered_info

case_other_key() {
  begin other5.info
  refused "another key" "the signature does not match the vendor's key"
}
run_case other_key case_other_key

case_unsigned_info() {
  begin unsigned.info
  refused "unsigned" "the information file has no [Signature] section"
}
run_case unsigned_info case_unsigned_info

# The package changed after the release: downloaded, found out, deleted, not run.
case_tampered_package() {
  flip srv/Update.exe
  cp srv/Update.exe Update.flipped
  begin signed5.info
  fire "changed package"
  box_is Error "Bad Signature!" heading 1 "changed package"
  box_is Error "$url/Update.exe" heading 1 "changed package"
  answer Error press --button OK
  not_installed "changed package" open
  logged "is not the one the vendor signed: $url/Update.exe" || fail "changed package: $(log_new | grep ERROR || echo 'no ERROR line')"
  web log | grep -qx "GET /vendor/Update.exe" || fail "changed package: it was not downloaded"
  [ ! -e "$dir/Update.exe" ] || fail "changed package: the download was kept"
  files_kept "changed package"
  cp Update.good srv/Update.exe
}
run_case tampered_package case_tampered_package

# Version 5 is installed; the vendor's signed offer of 4 comes back.
case_replayed_older() {
  begin signed4.info 5
  probe_decides "replayed" 3 "New version is not higher then old version"
  ! web log | grep -q Update.exe || fail "replayed: the package was fetched"
  [ ! -f report.txt ] || fail "replayed: the engine ran"
  [ "$(setting VersionOriginal)" = 5 ] || fail "replayed: VersionOriginal $(setting VersionOriginal)"
}
run_case replayed_older case_replayed_older

# Without CNG nothing can be verified, so nothing is used: a new transient agent
# (the load order is read when the program starts) for which bcrypt.dll never loads.
case_no_cng() {
  stop_agents
  $run reg add "$appkey\\DllOverrides" /v bcrypt /d "" /f >/dev/null 2>&1 || fail "reg add"
  new_transient plain
  begin signed5.info
  refused "no CNG" "signatures cannot be checked on this system"
  stop_agents
  $run reg delete "$appkey" /f >/dev/null 2>&1 || fail "reg delete"
  new_transient plain
}
run_case no_cng case_no_cng
x=$(transient_pid)

case_unkeyed() {
  stop_agents
  pack_agent --info-location "$url" --token "$token"
  log_mark
  first=$mark
  new_transient plain
  begin unsigned.info
  fire "unkeyed"
  installed "unkeyed"
  mark=$first
  [ "$(log_new | grep -cF "The update channel is unsigned: the agent's package carries no key")" = 1 ] ||
    fail "unkeyed: $(log_new | grep -c unsigned) lines about the unsigned channel"
  ! log_new | grep -q ERROR || fail "unkeyed: $(log_new | grep ERROR)"
}
run_case unkeyed case_unkeyed
x=$(transient_pid)

# ---- an internet stub and the SHA-256 of its setup file ----
case_internet_digest() {
  pack srv/websetup.exe --download-token web-1 --main Engine.exe Engine.exe
  pack net.exe --internet --download-location "$url" --download-of srv/websetup.exe
  for run_as in right wrong; do
    [ $run_as = right ] || flip srv/websetup.exe
    rm -f report.txt
    web log/clear >/dev/null
    start "net_$run_as" "$EXIT_LAUNCHER_EXE" ./net.exe
    if [ $run_as = wrong ]; then
      box_is Error "Bad SHA-256!" heading 1 "wrong digest"
      box_is Error "$url/websetup.exe" heading 1 "wrong digest"
      answer Error press --button OK
    fi
    finish "net_$run_as"
    web log | grep -qx "GET /vendor/websetup.exe" || fail "$run_as digest: no download: $(web log | tr '\n' ' ')"
    [ -z "$(temp_dirs)" ] || fail "$run_as digest: temp folders left: $(temp_dirs)"
    ! ls "$prefix"/drive_c/users/*/Temp/websetup.exe >/dev/null 2>&1 || fail "$run_as digest: the download stayed"
    if [ $run_as = right ]; then
      [ "$(value_of net_right exit)" = 0 ] || fail "right digest: exit $(value_of net_right exit)"
      [ "$(report done)" = 1 ] || fail "right digest: the engine did not run"
    else
      [ "$(value_of net_wrong exit)" = 1620 ] || fail "wrong digest: exit $(value_of net_wrong exit)"
      [ ! -f report.txt ] || fail "wrong digest: the engine ran"
    fi
  done
}
run_case internet_digest case_internet_digest

close_boxes
stop_agents
cases_result

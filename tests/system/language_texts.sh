#!/bin/sh
# Language texts from UTF-8 files under Wine: stubpack.exe writes every block in the
# code page of its Charset (the same bytes as glibc iconv makes), lists them back in
# UTF-8 exactly as the file has them (as the Linux stubpack must, stubpack_cli.sh),
# refuses a character that does not fit, and the real Stub.exe shows German, Russian
# and Hebrew texts in its own message box, each under its own Windows language.
set -eu
: "${WINE_ENV:?}" "${WINROBOT_EXE:?}" "${STUB_EXE:?}" "${STUBPACK_EXE:?}" "${EXIT_LAUNCHER_EXE:?}"
work=$(mktemp -d)
. "$(dirname "$0")/../support/robot-lib.sh"
trap 'reap_all; rm -rf "$work"' EXIT
cd "$work"
printf 'payload\r\n' >data.txt

# ---- one block per code page, built and listed by stubpack.exe ----
cp "$here/tests/support/code_pages.ini" languages.ini
$run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o pages.exe --languages languages.ini data.txt >pack.out 2>&1 ||
  fail "build: $(cat pack.out)"
$run "$STUBPACK_EXE" list pages.exe | tr -d '\r' >list.txt || fail "list: $(cat list.txt)"
$run "$STUBPACK_EXE" list --raw pages.exe | tr -d '\r' >raw.txt || fail "list --raw"

# Each block's lines as the file has them (file = "NAME PAGE" per block, then the lines).
blocks_of_file() {
  awk '/^;/ { next }
       /^\[/ { name = substr($0, 2, length($0) - 2); next }
       { print name "\t" $0 }' languages.ini
}
blocks_of_listing() { # listing
  awk '/^  \[/ { sub(/^  \[/, ""); sub(/\]  code page [0-9]+$/, ""); name = $0; next }
       /^    / { sub(/^    /, ""); print name "\t" $0 }' "$1"
}
blocks_of_file >expected.txt
blocks_of_listing list.txt >listed.txt
cmp -s expected.txt listed.txt || fail "stubpack.exe list does not print the file's UTF-8: $(diff expected.txt listed.txt)"

# The stored bytes are what glibc's converter makes of the same lines.
charset_page() {
  case $1 in
    0) echo 1252 ;; 238) echo 1250 ;; 204) echo 1251 ;; 161) echo 1253 ;; 162) echo 1254 ;;
    177) echo 1255 ;; 178) echo 1256 ;; 186) echo 1257 ;; 222) echo 874 ;; 128) echo 932 ;;
    134) echo 936 ;; 129) echo 949 ;; 136) echo 950 ;;
  esac
}
grep -c '^  \[' list.txt | grep -qx 14 || fail "not 14 blocks: $(grep '^  \[' list.txt)"
for name in $(sed -n 's/^\[\(.*\)\]$/\1/p' languages.ini); do
  charset=$(awk -v n="$name" -F'\t' '$1 == n && $2 ~ /^Charset=/ { sub(/^Charset=/, "", $2); print $2 }' expected.txt)
  page=$(charset_page "$charset")
  grep -qx "  \[$name\]  code page $page" list.txt || fail "[$name] is not listed with code page $page"
  awk -v n="$name" -F'\t' '$1 == n { print $2 }' expected.txt | iconv -f UTF-8 -t "CP$page" >want.bin ||
    fail "iconv CP$page"
  awk -v n="$name" '/^  \[/ { b = $0; sub(/^  \[/, "", b); sub(/\]  code page [0-9]+$/, "", b); next }
                    /^    / && b == n { sub(/^    /, ""); print }' raw.txt >got.bin
  cmp -s want.bin got.bin || fail "[$name] is not stored in code page $page: $(od -c got.bin | head -3)"
done

$run "$STUBPACK_EXE" list --json pages.exe | tr -d '\r' >list.json || fail "list --json"
python3 - list.json expected.txt <<'EOF' || fail "JSON listing"
import json, sys
listing = json.load(open(sys.argv[1], encoding="utf-8"))
got = [b["language"] + "\t" + item for b in listing["languageBlocks"] for item in b["items"]]
want = open(sys.argv[2], encoding="utf-8").read().splitlines()
assert got == want, (got, want)
EOF

# A character that has no place in its block's code page: one line naming it, the
# block and the line, exit 1, no output file.
printf '[Russian]\nCharset=204\ns0=\320\237\321\200\320\270\n; a comment\ns1=Gr\303\274\303\237e\n' >misfit.ini
set +e
$run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o misfit.exe --languages misfit.ini data.txt >misfit.out 2>misfit.err
rc=$?
set -e
[ "$rc" = 1 ] || fail "misfit: exit $rc"
tr -d '\r' <misfit.err >misfit.txt
grep -qF "language line 5: U+00FC ($(printf '\303\274')) does not fit block [Russian] (Charset 204, code page 1251)" misfit.txt ||
  fail "misfit: $(cat misfit.txt)"
[ "$(wc -l <misfit.txt)" = 1 ] || fail "misfit: not one line"
ls misfit.exe* >/dev/null 2>&1 && fail "misfit: output left behind"

# ---- the stub's own message box: the temp-drive question in the user's language ----
# Wine takes the user's language and the ANSI code page from LC_ALL; the stub picks
# the block of that language and the robot reads the box's texts in that code page.
{ printf '\357\273\277'; printf '%s\n' \
  '[English]' 'Charset=0' \
  '[German]' \
  'Confirm=Bestätigen' \
  's2=Die Dateien werden auf Ihr Temp-Laufwerk (<DRIVE>) entpackt<P>' \
  's6=<P>Möchten Sie fortfahren? Drücken Sie „Ja“ oder „Nein“.<P>' \
  'BtnText=|&OK|&Abbrechen|&Ja|&Nein|&Abbrechen|&Wiederholen|&Ignorieren|' \
  'Charset=0' \
  '[Russian]' \
  'Confirm=Подтверждение' \
  's2=Файлы будут распакованы на временный диск (<DRIVE>)<P>' \
  's6=<P>Продолжить установку? Нажмите «Да» или «Нет».<P>' \
  'BtnText=|&OK|О&тмена|&Да|&Нет|&Прервать|&Повтор|&Пропустить|' \
  'Charset=204' \
  '[Hebrew]' \
  'Confirm=אישור' \
  's2=הקבצים יחולצו לכונן הזמני (<DRIVE>)<P>' \
  's6=<P>האם להמשיך בהתקנה?<P>' \
  'BtnText=|&אישור|&ביטול|&כן|&לא|&הפסק|&נסה שוב|&התעלם|' \
  'Charset=177'; } >boxes.ini
$run "$STUBPACK_EXE" build --stub "$STUB_EXE" -o setup.exe --announce-temp-drive --languages boxes.ini data.txt \
  >pack.out 2>&1 || fail "build setup.exe: $(cat pack.out)"
value_in() { # block key: the file's UTF-8 text
  awk -v b="[$1]" -v k="$2=" '/^\[/ { inside = index($0, b) > 0; next } inside && index($0, k) == 1 { print substr($0, length(k) + 1) }' boxes.ini
}
ask() { # locale code-page block drive-text right-to-left
  LC_ALL=$1
  export LC_ALL
  start setup "$EXIT_LAUNCHER_EXE" ./setup.exe
  robot wait --class VMsgBox --timeout 30000 >/dev/null || fail "$3: no message box"
  d=$(robot show --class VMsgBox)
  caption=$(field "$d" caption | iconv -f "CP$2" -t UTF-8)
  [ "$caption" = "$(value_in "$3" Confirm)" ] || fail "$3: box caption $caption"
  text=$(field "$d" text | iconv -f "CP$2" -t UTF-8)
  printf '%s' "$text" | grep -qF "$(value_in "$3" Confirm)\\n\\n$4" || fail "$3: box text $text"
  question=$(value_in "$3" s6 | sed 's/<P>//g')
  printf '%s' "$text" | grep -qF "$question" || fail "$3: no question '$question' in $text"
  no=$(field "$d" button.1 | cut -d' ' -f1 | iconv -f "CP$2" -t UTF-8)
  [ "$no" = "$(value_in "$3" BtnText | cut -d'|' -f5)" ] || fail "$3: button $no"
  [ "$(field "$d" right)$(field "$d" rtlreading)" = "$5" ] || fail "$3: right to left is not $5"
  robot press --class VMsgBox --index 1 >/dev/null || fail "$3: cannot answer the box"
  finish setup
  [ "$(value_of setup exit)" = 1602 ] || fail "$3: No did not cancel the setup: exit $(value_of setup exit)"
  unset LC_ALL
}
ask de_DE.UTF-8 1252 German 'Die Dateien werden auf Ihr Temp-Laufwerk (C:) entpackt' 00
ask ru_RU.UTF-8 1251 Russian 'Файлы будут распакованы на временный диск (C:)' 00
ask he_IL.UTF-8 1255 Hebrew 'הקבצים יחולצו לכונן הזמני (C:)' 11
echo "language texts: ok"

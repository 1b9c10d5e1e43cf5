#!/bin/bash
# The built program from a shell without a display. Usage: cli_end_to_end.sh PROGRAM DATA FAKELIBS
#   PROGRAM   the built orvex2 (its real libraries beside it, in ../lib/orvex2)
#   DATA      tests/data (real archives made by public tools)
#   FAKELIBS  the scripted test libraries, for a check slow enough to be stopped by a signal
# Every run is under a time limit: a box waiting for a click that cannot come fails the test.
set -u
PROG=$1 DATA=$2 FAKELIBS=$3
W=$(mktemp -d) || exit 1
trap 'chmod -R u+rwX "$W" 2>/dev/null; rm -rf "$W"' EXIT
chmod 755 "$W"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() { [[ "$2" == "$3" ]] || fail "$1: expected [$3], got [$2]"; }
expect_line() { grep -qxF -- "$3" "$2" || fail "$1: no line [$3] in $(basename "$2"):"$'\n'"$(cat "$2")"; }

# run [PREFIX...] -- ARGS...: the program in $D, no display (unless EXTRA_ENV sets a platform),
# a private settings folder.
EXTRA_ENV=()
run() {
  local prefix=()
  while [[ $1 != -- ]]; do prefix+=("$1"); shift; done
  shift
  (cd "$D" && timeout 120 "${prefix[@]}" env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    -u XDG_RUNTIME_DIR -u ORVEX2_SYSTEM_DIR XDG_CONFIG_HOME="$W/cfg" "${EXTRA_ENV[@]}" "$PROG" "$@" \
    >"$W/out" 2>"$W/err")
  status=$?
  [[ $status -ne 124 ]] || fail "timed out: $*"
  if grep -q QStandardPaths "$W/err"; then fail "Qt warning: $(cat "$W/err")"; fi
}
# "header<TAB>verdict" for each archive block of the output.
verdicts() { awk '/^\[ /{if (h!="") print h "\t" v; h=$0; next} /^　/{v=$0} END{if (h!="") print h "\t" v}' "$W/out"; }
expect_verdict() {
  verdicts | grep -qxF -- "[ $2 ]"$'\t'"$3" || fail "$1: [ $2 ] should end with [$3]:"$'\n'"$(cat "$W/out")"
}
PASS='　この圧縮ファイルは正常です'

mkdir -p "$W/cfg" "$W/d/sub/inner" "$W/d/folder.lzh" "$W/tmp"
chmod 777 "$W/cfg"
D=$W/d
cd "$D" || exit 1
GOOD_ZIP=$DATA/zip/deflated.zip GOOD_LZH=$DATA/lzh/lh5_level1.lzh
broken() { head -c 1500 "$1" >"$2"; }  # cut short: no tester passes it

# --- Names of every kind in one automatic run -------------------------------------------------
cp "$GOOD_ZIP" "$D/GOOD.ZIP"
broken "$GOOD_ZIP" "$D/GOOD.ZIP\" \"x.ZIP"      # must be tested itself, not GOOD.ZIP
cp "$GOOD_LZH" "$D/good.lzh"
cp "$GOOD_LZH" "$D/"$'\x93\xfa\x96\x7b'.lzh     # CP932
broken "$GOOD_ZIP" "$D/caf"$'\xe9'.zip         # Latin-1
cp "$GOOD_LZH" "$D/a \"b\" c.lzh"
cp "$GOOD_LZH" "$D/new"$'\n'"line.lzh"
cp "$GOOD_LZH" "$D/"$'\e]0;owned\a'.lzh       # would retitle a terminal
cp "$GOOD_LZH" "$D/sub/target.lzh"
broken "$GOOD_LZH" "$D/target.lzh"             # what folding "link/.." by the text would check
ln -s sub/inner "$D/link"
cp "$GOOD_LZH" "$D/OLD.LHA"
echo notes >"$D/notes.txt"
cp "$GOOD_LZH" "$D/locked.lzh"
chmod 000 "$D/locked.lzh"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  if command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
    as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
  else
    echo "SKIP part: no way to drop root's rights here, so no file is unreadable"
    chmod 644 "$D/locked.lzh"
  fi
fi
names=(GOOD.ZIP missing.lzh "GOOD.ZIP\" \"x.ZIP" good.lzh $'\x93\xfa\x96\x7b'.lzh "caf"$'\xe9'.zip
       "a \"b\" c.lzh" "new"$'\n'"line.lzh" $'\e]0;owned\a'.lzh $'gone\e[2J.lzh' link/../target.lzh OLD.LHA
       notes.txt folder.lzh locked.lzh)
run "${as_user[@]}" -- --auto=normal "${names[@]}"
expect_eq "mixed names: exit status" "$status" 1
expect_verdict quote "$D/GOOD.ZIP\" \"x.ZIP" '　ファイルのヘッダが壊れていま'
expect_verdict plain "$D/GOOD.ZIP" "$PASS"
expect_verdict cp932 "$D/日本.lzh" "$PASS"
expect_verdict latin1 "$D/caf\\xE9.zip" '　ファイルのヘッダが壊れていま'
expect_verdict blanks "$D/a \"b\" c.lzh" "$PASS"
expect_verdict newline "$D/new\\x0Aline.lzh" "$PASS"
expect_verdict escape "$D/\\x1B]0;owned\\x07.lzh" "$PASS"
if grep -q $'\e' "$W/out" "$W/err"; then fail "a raw escape reached the terminal"; fi
expect_verdict link "$D/sub/target.lzh" "$PASS"
for n in missing.lzh OLD.LHA notes.txt folder.lzh target.lzh; do
  if grep -qF "[ $D/$n ]" "$W/out"; then fail "$n was checked"; fi
done
expect_line "missing" "$W/err" "orvex2: $D/missing.lzh: not checked: not found"
expect_line "hostile missing" "$W/err" "orvex2: $D/gone\\x1B[2J.lzh: not checked: not found"
expect_line "options" "$W/err" "orvex2: $D/OLD.LHA: not checked: not a target with the current options (Lzh_Lha is off)"
expect_line "name" "$W/err" "orvex2: $D/notes.txt: not checked: not an archive name (.LZH .LHA .ZIP .ARJ .CAB .EXE .X)"
expect_line "folder" "$W/err" "orvex2: $D/folder.lzh: not checked: a folder"
if [[ $(stat -c %a "$D/locked.lzh") == 0 ]]; then
  expect_line "unreadable" "$W/err" "orvex2: $D/locked.lzh: not checked: not readable (no permission)"
  expect_line "summary" "$W/out" "orvex2: 7 passed, 2 failed, 6 not checked"
else
  expect_line "summary" "$W/out" "orvex2: 8 passed, 2 failed, 5 not checked"
fi
expect_eq "nothing saved by an automatic run" "$(ls "$W/cfg")" ""

# --- Exit statuses ----------------------------------------------------------------------------
run -- --auto=normal GOOD.ZIP good.lzh
expect_eq "all passed: exit status" "$status" 0
expect_line "all passed" "$W/out" "orvex2: 2 passed, 0 failed, 0 not checked"
run -- --auto missing.lzh notes.txt
expect_eq "nothing to check: exit status" "$status" 2
expect_line "nothing to check" "$W/err" "orvex2: no archive to check"

# --- 1500 names: all checked, in order, 1000 at a time, one closing line ------------------------
mkdir "$D/many"
for i in $(seq -w 1 1500); do cp "$GOOD_LZH" "$D/many/$i.lzh"; done
broken "$GOOD_LZH" "$D/many/1234.lzh"
run -- --auto=normal many/*.lzh
expect_eq "1500 names: exit status" "$status" 1
expect_eq "1500 names: headers" "$(grep -c '^\[ ' "$W/out")" 1500
expect_eq "1500 names: 1001st header" "$(grep '^\[ ' "$W/out" | sed -n 1001p)" "[ $D/many/1001.lzh ]"
expect_eq "1500 names: closing lines" "$(grep -c '^全て終了しました$' "$W/out")" 1
expect_eq "1500 names: last lines" "$(tail -n 2 "$W/out" | tr '\n' '|')" "全て終了しました|orvex2: 1499 passed, 1 failed, 0 not checked|"
expect_verdict "1500 names: the broken one" "$D/many/1234.lzh" '　ファイルの読み込み時に読み込みエラーが出ました'

# --- Stopped by a signal while a double archive's inner archive is being extracted ---------------
printf '[Orvex2]\nDouble=True\nTmpDir=%s/tmp/\n' "$W" >"$W/cfg/Tovanel.ini"
printf 'delay 1500\nzip extract * "copy:%s"\n' "$GOOD_LZH" >"$W/fake.script"
cp "$GOOD_ZIP" "$D/X.LZH.ZIP"
for sig in TERM HUP INT; do
  (cd "$D" && exec env -u DISPLAY -u QT_QPA_PLATFORM --default-signal=INT XDG_CONFIG_HOME="$W/cfg" \
    ORVEX2_SYSTEM_DIR="$FAKELIBS" ORVEX2_FAKE_SCRIPT="$W/fake.script" "$PROG" --auto=normal X.LZH.ZIP GOOD.ZIP \
    >"$W/out" 2>"$W/err") &
  pid=$!
  for _ in $(seq 100); do [[ -n $(ls "$W/tmp") ]] && break; sleep 0.05; done
  [[ -n $(ls "$W/tmp") ]] || fail "SIG$sig: no private folder appeared"
  start=$(date +%s%N)
  kill -s "$sig" "$pid"
  wait "$pid"
  status=$?
  expect_eq "SIG$sig: exit status" "$status" 2
  (( ($(date +%s%N) - start) / 1000000 < 1000 )) || fail "SIG$sig: did not end promptly"
  expect_eq "SIG$sig: left in TmpDir" "$(ls -A "$W/tmp")" ""
  expect_eq "SIG$sig: last lines" "$(tail -n 2 "$W/out" | tr '\n' '|')" "中断しました|orvex2: 0 passed, 0 failed, 2 not checked|"
done
rm "$W/cfg/Tovanel.ini"

# --- Start-up paths that must not wait for a click without a display ---------------------------
printf '[Orvex2]\nLzh=False\n' >"$W/cfg/Tovanel.ini"
EXTRA_ENV=(QT_QPA_PLATFORM=offscreen)
run -- /U
EXTRA_ENV=()
expect_eq "/U offscreen: exit status" "$status" 0
grep -q 'answered No' "$W/err" || fail "/U offscreen: $(cat "$W/err")"
grep -q 'Lzh=False' "$W/cfg/Tovanel.ini" || fail "/U answered No removed the settings"
printf '[Orvex2]\nMain_Left=far left\n' >"$W/cfg/Tovanel.ini"
run -- GOOD.ZIP
expect_eq "unreadable window position: exit status" "$status" 1
grep -q 'MDIForm_Load ERR' "$W/err" || fail "unreadable window position: $(cat "$W/err")"
rm "$W/cfg/Tovanel.ini"
run -- many/*.lzh
expect_eq "1500 names without --auto: exit status" "$status" 2
grep -q 'no display' "$W/err" || fail "1500 names without --auto: $(cat "$W/err")"

mkfifo "$W/cfg/Tovanel.ini"  # a reader of a FIFO without a writer waits for ever
run -- --auto=normal GOOD.ZIP
expect_eq "FIFO settings file, --auto: exit status" "$status" 0
grep -q 'Tovanel.ini is not a regular file' "$W/err" || fail "FIFO settings file: $(cat "$W/err")"
run -- GOOD.ZIP
expect_eq "FIFO settings file, window: exit status" "$status" 2
[[ -p "$W/cfg/Tovanel.ini" ]] || fail "the FIFO was replaced"

[[ $failures -eq 0 ]] && echo "all end-to-end checks passed"
exit $((failures > 0))

#!/usr/bin/env bash
# Drags two selected entries of the passed-files list into another process, under a virtual X
# server, with real pointer events, and checks the file list that process received.
#   drag_out.sh <drag_source> <drop_target>        exit 77: skipped (no Xvfb or xdotool)
set -euo pipefail
source_bin=$1
target_bin=$2
for tool in xvfb-run xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done

if [[ -z "${ORVEX2_IN_XVFB:-}" ]]; then
  export ORVEX2_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

export QT_QPA_PLATFORM=xcb
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT

wait_for() {  # file pattern
  for _ in $(seq 100); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "timed out waiting for '$2' in $1"; cat "$1"; return 1
}

"$target_bin" >"$work/target" 2>"$work/target.err" & pids+=($!)
"$source_bin" --select=0,2 /data/one.lzh "/data/two files.zip" /data/三.cab >"$work/source" 2>"$work/source.err" & pids+=($!)
wait_for "$work/target" '^ready'
wait_for "$work/source" '^press '
read -r _ x y <"$work/source"

# Press on the second selected entry: the drag starts at once and must keep both selected.
xdotool mousemove "$x" "$y"
sleep 0.2
xdotool mousedown 1
sleep 0.5
for step in 1 2 3 4 5 6 7 8; do
  xdotool mousemove $((x + (650 - x) * step / 8)) $((y + (150 - y) * step / 8))
  sleep 0.1
done
xdotool mouseup 1
wait_for "$work/target" '^dropped'

printf 'dropped 50\nfile:///data/one.lzh\r\nfile:///data/%%E4%%B8%%89.cab\r\n' >"$work/expected"
sed -n '/^dropped/,$p' "$work/target" >"$work/received"
if ! cmp -s "$work/expected" "$work/received"; then
  echo "the drop target received:"; cat -A "$work/received"
  echo "expected:"; cat -A "$work/expected"
  exit 1
fi
echo "the drop target received both selected files"

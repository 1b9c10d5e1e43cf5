#!/usr/bin/env bash
# Takes the screenshots in docs/ under a virtual X server, with the real archiver libraries:
#   docs/screenshot.png          the main window after a detailed check of the sample archives
#   docs/screenshot-running.png  the same check while it runs: a large archive made for the shot
#                                comes last in the target list, so the run lasts a few seconds
# Needs a build (build/bin/orvex2) and scripts/setup.sh --tools (Xvfb, ImageMagick, xdotool, zip).
#   ORVEX2_SHOT_WAIT   seconds from pressing the button to the running shot (default 1)
#   ORVEX2_SHOT_MB     size of the large archive's content in megabytes (default 6000)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
mkdir -p "$out"
out=$(cd "$out" && pwd)
top=$(pwd)
work=$(mktemp -d -t orvex2.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A fresh settings store: default options, the frame where the crop below expects it.
mkdir -p "$work/config"
cat > "$work/config/Tovanel.ini" <<'INI'
[Orvex2]
Main_Left=300
Main_Top=300
Main_Width=17400
Main_Height=12300
Main_WindowState=0
INI
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=xcb

# The samples, and beside them highly repetitive text: small on disk, seconds to decompress twice.
mkdir "$work/samples"
cp samples/*.LZH samples/*.ZIP samples/*.ARJ samples/*.CAB "$work/samples/"
{ yes "Orvex2 screenshot filler: a long member keeps the check running for the picture." || true; } |
  head -c $(( ${ORVEX2_SHOT_MB:-6000} * 1048576 )) | zip -q -1 "$work/LARGE.ZIP" -

export top work out
xvfb-run -a -s "-screen 0 1280x900x24" bash -euo pipefail -c '
  # shot <file> <seconds after pressing the detailed check> <archives...>
  shot() {
    local file=$1 wait=$2 window pid
    shift 2
    "$top/build/bin/orvex2" "$@" 2>/dev/null &
    pid=$!
    window=$(xdotool search --sync --name "^Orvex2 for Win32\$" | head -1)
    sleep 2
    xdotool windowfocus --sync "$window"
    # The drive list has the focus at start; Shift+Tab goes back to the last run button.
    xdotool key --window "$window" shift+Tab space
    sleep "$wait"
    import -window root "$file"
    convert "$file" -crop 1160x820+20+20 +repage "$file"
    kill $pid
    wait $pid 2>/dev/null || true
  }
  cd "$work/samples"
  set -- *.LZH *.ZIP *.ARJ *.CAB
  shot "$out/screenshot.png" 4 "$@"
  mv "$work/LARGE.ZIP" .
  shot "$out/screenshot-running.png" "${ORVEX2_SHOT_WAIT:-1}" "$@" LARGE.ZIP
'
echo "wrote $out/screenshot.png and $out/screenshot-running.png"

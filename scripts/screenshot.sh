#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window with its five child windows after a detailed check
# of the sample archives, under a virtual X server. Needs a build (build/bin/orvex2) and
# scripts/setup.sh --tools (Xvfb, ImageMagick, xdotool).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
mkdir -p "$(dirname "$out")"
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
# A fresh settings store: default options, windows laid out by the frame.
cat > "$config/Tovanel.ini" <<'INI'
[Orvex2]
Main_Left=300
Main_Top=300
Main_Width=17400
Main_Height=12300
Main_WindowState=0
INI
export XDG_CONFIG_HOME=$config
top=$(pwd)
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
  cd samples
  "'"$top"'/build/bin/orvex2" *.LZH *.ZIP *.ARJ *.CAB &
  pid=$!
  sleep 4
  # Press the detailed check (its button sits at the left of the panel) and let it finish.
  xdotool mousemove 264 59 click 1
  sleep 3
  import -window root "'"$top/$out"'"
  convert "'"$top/$out"'" -crop 1160x820+20+20 +repage "'"$top/$out"'"
  kill $pid
'
echo "wrote $out"

#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window with its five child windows and the sample archives
# in the target list, under a virtual X server. Needs a build (build/bin/orvex2) and
# scripts/setup.sh --tools (Xvfb, ImageMagick).
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
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
  build/bin/orvex2 samples/*.LZH samples/*.ZIP samples/*.ARJ samples/*.CAB &
  pid=$!
  sleep 4
  import -window root "'"$out"'"
  kill $pid
'
echo "wrote $out"

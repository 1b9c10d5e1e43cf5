#!/usr/bin/env bash
# Installs what is needed, builds the program and runs it on the bundled sample archives: the main
# window with the samples in its target list when there is a display, otherwise the automatic
# detailed check, printing its history. Extra arguments go to the program instead of the samples.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target orvex2
if (($#)); then
  exec build/bin/orvex2 "$@"
fi
cd samples
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec ../build/bin/orvex2 *.LZH *.ZIP *.ARJ *.CAB *.EXE
fi
echo "No display: checking the samples without a window (detailed check)."
set +e
../build/bin/orvex2 --auto=detailed *.LZH *.ZIP *.ARJ *.CAB *.EXE
status=$?
echo "exit status $status (0: all passed, 1: some did not pass, 2: stopped) - BROKEN.* and TRUNCATED.* are damaged on purpose"

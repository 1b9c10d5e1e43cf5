#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Orvex2. Idempotent, non-interactive.
#   scripts/setup.sh          build and test dependencies
#   scripts/setup.sh --tools  also the public archivers used to regenerate fixtures and to benchmark
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  liblhasa-dev libmspack-dev libisal-dev libbz2-dev zlib1g-dev
  cabextract
  libgtest-dev googletest
  unzip 7zip libarchive-tools
  fonts-ipafont-gothic fonts-ipafont-mincho
  xvfb xauth xdotool
  qt6-translations-l10n desktop-file-utils appstream man-db groff-base
  arj lhasa
)
if [[ "${1:-}" == "--tools" ]]; then
  packages+=(zip jlha-utils default-jdk-headless gcab time python3 imagemagick clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs the Debian packages the build, the game and the tests need, when
# any is missing. Runs apt-get as root, or through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config ccache
  libsdl2-dev libepoxy-dev libstb-dev libzstd-dev libopenal-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libgl1-mesa-dri libegl-mesa0 libegl1
  xvfb xauth fonts-dejavu-core xdotool x11-utils
  desktop-file-utils appstream
  clang libclang-rt-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

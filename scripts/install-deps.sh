#!/usr/bin/env bash
# Installs every system package the build, the tests and the previewer need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  clang libclang-rt-14-dev          # libFuzzer targets
  libgtest-dev libgmock-dev libbenchmark-dev
  libgl1-mesa-dev libglu1-mesa-dev libglew-dev libosmesa6-dev
  libpng-dev libjpeg62-turbo-dev zlib1g-dev
  libfltk1.3-dev
  xvfb xdotool imagemagick x11-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

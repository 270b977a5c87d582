#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail
packages=(cmake g++ make pkg-config zlib1g-dev libfox-1.6-dev libpng-dev libgtest-dev
          libgmock-dev libbenchmark-dev nlohmann-json3-dev xvfb xdotool x11-apps imagemagick tzdata locales
          dpkg-dev file man-db desktop-file-utils "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

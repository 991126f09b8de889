#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, and those
# named as arguments. Idempotent and quiet when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-serialport-dev qt6-svg-dev libgl-dev libxcb1-dev
  libssl-dev nettle-dev openssl
  libgtest-dev googletest
  socat xvfb xauth trayer
  desktop-file-utils man-db
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

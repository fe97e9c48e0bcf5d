#!/usr/bin/env bash
# Installs the Debian packages the build, the content makers and the tests need.
# Idempotent: packages already present are skipped, and apt is not touched at all
# when nothing is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3 python3-glad
  libglfw3-dev libglm-dev libstb-dev libassimp-dev zlib1g-dev
  libsdl2-dev libsdl2-mixer-dev libasound2-dev libmp3lame-dev
  libgtest-dev
  xvfb xauth libgl1 libglx-mesa0 libgl1-mesa-dri mesa-utils
  glslang-tools fonts-dejavu-core
  ffmpeg mpg123 libmpg123-dev
  # the release archive and its test in a minimal Debian root
  patchelf debootstrap
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another apt run (unattended upgrades, a parallel build) may hold the lock for a while.
$sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

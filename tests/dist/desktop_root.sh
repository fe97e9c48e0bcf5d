#!/usr/bin/env bash
# A stand-in for a stock Linux desktop that never built Norrvale: a minimal Debian root
# with only what a desktop's runtime brings (GL driver, X11 and Wayland client
# libraries, the sound libraries, the base libraries they share) and Xvfb to show the
# window. No development package, no GLFW, assimp or SDL: those must come from the
# release archive. The root is made once per package list and kept in the cache folder.
#
#   desktop_root.sh prepare CACHE_DIR        makes or reuses the root, prints its path
#   desktop_root.sh run ROOT COMMAND...      runs COMMAND chrooted in ROOT, offline
#
# Needs root (debootstrap, chroot, namespaces) and, the first time, the host's own
# Debian mirror.
set -euo pipefail
# shellcheck source=../support/debian_root.sh
. "$(dirname "$0")/../support/debian_root.sh"

# What the root gets on top of debootstrap's minbase. Keep in step with the
# requirements named in packaging/norrvale.txt.
desktopPackages=(
  # GL driver (Mesa's llvmpipe stands in for the desktop's driver)
  libgl1 libglx-mesa0 libgl1-mesa-dri libgbm1 libdrm2
  # X11 and Wayland client libraries
  libx11-6 libx11-xcb1 libxext6 libxcursor1 libxi6 libxfixes3 libxrandr2
  libxinerama1 libxxf86vm1 libxss1 libxrender1
  libwayland-client0 libwayland-cursor0 libwayland-egl1 libxkbcommon0
  # sound libraries (the desktop's sound server clients)
  libasound2 libpulse0 libjack-jackd2-0
  # base libraries every desktop carries
  libglib2.0-0 libdbus-1-3 libreadline8 libgomp1
  # the display the test shows the window on
  xvfb xauth
)

prepare() {
  local cache=$1 mirror key root
  mirror=$(hostMirror) || exit 1
  key=$(printf '%s\n' "$suite" "$mirror" "${desktopPackages[@]}" | sha256sum | cut -c1-16)
  root=$cache/$key
  mkdir -p "$cache"
  # Test processes start in parallel; the first makes the root, the others wait for it.
  exec 9>"$cache/.lock"
  flock 9
  if [ ! -f "$root/.ready" ]; then
    local old
    for old in "$cache"/*/; do
      [ -d "$old" ] || continue
      refuseIfMounted "${old%/}"
      rm -rf "${old%/}"
    done
    local log=$cache/prepare.log
    echo "desktop_root: making a $suite root from $mirror (once per package list; log in $log)" >&2
    if ! unshare --mount --propagation private \
           debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$log" 2>&1; then
      tail -n 20 "$log" >&2
      exit 1
    fi
    if ! inRoot "$root" sh -c 'export DEBIAN_FRONTEND=noninteractive &&
           apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@" && apt-get clean' \
           sh "${desktopPackages[@]}" >>"$log" 2>&1; then
      tail -n 20 "$log" >&2
      exit 1
    fi
    touch "$root/.ready"
  fi
  echo "$root"
}

case "${1:-}" in
  prepare) prepare "$2" ;;
  run) shift; inRoot --offline "$@" ;;
  *) echo "usage: $0 prepare CACHE_DIR | run ROOT COMMAND..." >&2; exit 2 ;;
esac

#!/usr/bin/env bash
# Installs the Debian packages the build, the content makers and the tests need, and
# turns on the archive's source packages: the demo's assimp is built from Debian's
# source with our patches. `setup.sh release` adds what the two release archives and
# their tests need (a minimal Debian root, MinGW-w64 with the Debian sources of the
# Windows libraries, Wine), so that `make run` does not download a cross compiler to
# play the demo. `setup.sh web` adds the browser build's (emscripten, the three browser
# engines the tests drive, and the browser tests' node packages from tests/web's lockfile).
# Idempotent: packages already present are skipped, and apt is not touched at all
# when nothing is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3 python3-glad
  libglfw3-dev libglm-dev libstb-dev zlib1g-dev libutfcpp-dev dpkg-dev
  libsdl2-dev libasound2-dev libmp3lame-dev
  libgtest-dev libx11-dev
  xvfb xauth libgl1 libglx-mesa0 libgl1-mesa-dri mesa-utils
  glslang-tools fonts-dejavu-core
  ffmpeg mpg123 libmpg123-dev
  # the flash check's conformance suite is rendered with Debian's numpy and Pillow
  python3-numpy python3-pil
)
release=
web=
if [ "${1:-}" = web ]; then
  web=1
  # The browser tests compare pictures with /usr/bin/python3 and Pillow. The engines:
  # Blink (chromium), Gecko (firefox-esr) and WebKit (webkit2gtk-driver: WebKitWebDriver,
  # with the MiniBrowser of libwebkit2gtk-4.1-0).
  packages+=(emscripten chromium firefox-esr webkit2gtk-driver nodejs)
  # The wasm baker carries only the glyphs its text uses, cut out by fontTools.
  packages+=(python3-fonttools)
  # NodeSource's nodejs carries npm; Debian's has it as a package of its own.
  command -v npm >/dev/null || packages+=(npm)
fi
if [ "${1:-}" = release ]; then
  release=1
  packages+=(
    # the Linux archive and its test in a minimal Debian root
    patchelf debootstrap
    # The Windows build (MinGW-w64 and the sources of its libraries) and its test under
    # Wine: wine gives the commands, wine64 runs 64-bit programs without i386 packages.
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
    wine wine64 xdotool
  )
fi

apt_get() {
  $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"
}
if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
else
  sudo=
fi

# assimp, and for Windows every library, is built from Debian's source packages, so the
# archive's deb-src entries must be on (deb822 sources on Debian 12, a sources.list before).
update=
if ! apt-cache showsrc assimp 2>/dev/null | grep -q '^Package:'; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    $sudo sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  fi
  if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | while read -r line; do
      grep -qxF "$line" /etc/apt/sources.list || echo "$line" | $sudo tee -a /etc/apt/sources.list >/dev/null
    done
  fi
  update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# The browser tests' driver (puppeteer-core, no browser download) at the versions the
# lockfile pins; again only when what is installed differs from it.
npmInstall() {
  local dir
  dir=$(cd "$(dirname "$0")/../tests/web" && pwd)
  if ! cmp -s "$dir/package-lock.json" "$dir/node_modules/.norrvale-lock" 2>/dev/null; then
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null &&
     cp package-lock.json node_modules/.norrvale-lock)
  fi
}

if [ ${#missing[@]} -eq 0 ] && [ -z "$update" ]; then
  if [ -n "$web" ]; then npmInstall; fi
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt_get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ -n "$web" ]; then npmInstall; fi

#!/usr/bin/env bash
# Builds the Linux program's own SDL2_mixer from Debian's source package, with the same
# options as the Windows build (only the bundled MP3 decoder), into BUILD_DIR/linuxdeps:
# the release then carries one small library instead of Debian's SDL2_mixer with every
# decoder it links. SDL2 itself is Debian's. The stamp names the source and the recipe,
# so a rerun only checks it.
#   build-deps.sh [BUILD_DIR]       (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(mkdir -p "${1:-build}" && cd "${1:-build}" && pwd)
deps=$build/linuxdeps
prefix=$deps/prefix
mkdir -p "$deps/src" "$deps/stamps"
# shellcheck source=../from-source.sh
. "$root/packaging/from-source.sh"

source=$(debianSource libsdl2-mixer "$deps/src")
key="${source##*/} $(recipeKey "${sdl2MixerOptions[@]}")"
if [ "$(cat "$deps/stamps/sdl2-mixer" 2>/dev/null)" != "$key" ]; then
  echo "Building sdl2-mixer ($key)"
  rm -rf "$prefix"
  cmakeInstall "$deps/build-sdl2-mixer.log" "$deps/build-sdl2-mixer" "$source" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    "${sdl2MixerOptions[@]}" || exit 1
  echo "$key" >"$deps/stamps/sdl2-mixer"
fi

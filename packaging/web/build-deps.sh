#!/usr/bin/env bash
# Builds the browser build's libraries for wasm from Debian's own source packages,
# once, into one folder (default build/webdeps): zlib, minizip from zlib's contrib, and
# assimp with only its OBJ importer, from the same patched tree as Linux and Windows
# (packaging/assimp). GLFW and GL are emscripten's own. Each library leaves a stamp when
# installed, so a rerun does nothing but check the stamps.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
deps=$(mkdir -p "${1:-$root/build/webdeps}" && cd "${1:-$root/build/webdeps}" && pwd)
prefix=$deps/prefix
mkdir -p "$deps/src" "$deps/stamps" "$prefix/include" "$prefix/lib/pkgconfig"
# Debian's emcc needs its own JS modules (acorn) on node's path above -O0.
export NODE_PATH=/usr/share/nodejs
toolchain=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake

# shellcheck source=../from-source.sh
. "$root/packaging/from-source.sh"
fetch() { debianSource "$1" "$deps/src"; }

build() { crossBuild wasm "$@" || exit 1; }

# zlib's own configure script, not its CMake project: that one wants a Windows resource
# file that Debian's repack strips.
zlibSource=$(fetch zlib)
if [ ! -f "$deps/stamps/zlib" ]; then
  echo "Building zlib for wasm"
  rm -rf "$deps/build-zlib"
  cp -a "$zlibSource" "$deps/build-zlib"
  if ! (cd "$deps/build-zlib" && emconfigure ./configure --static --prefix="$prefix" &&
        emmake make -j "${JOBS:-2}" libz.a &&
        cp libz.a "$prefix/lib/" && cp zlib.h zconf.h "$prefix/include/") \
        >"$deps/build-zlib.log" 2>&1; then
    tail -n 30 "$deps/build-zlib.log" >&2
    echo "Building zlib failed; the whole log is $deps/build-zlib.log" >&2
    exit 1
  fi
  rm -rf "$deps/build-zlib"
  touch "$deps/stamps/zlib"
fi
zlibArgs=(-DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include")

build minizip "$root/packaging/minizip" -DMINIZIP_SOURCE="$zlibSource/contrib/minizip" \
  "${zlibArgs[@]}"

# utf8cpp is header-only: the host's Debian package serves.
ln -sfn /usr/include/utf8cpp "$prefix/include/utf8cpp"

# A static assimp from the same patched tree as the other builds; its stamp is named
# after that tree, so a changed patch set rebuilds it. The importer reports a bad file
# by throwing and catching inside ReadFile, so it is built with exceptions on
# (emcc's default turns every throw into an abort).
assimpSource=$("$root/packaging/assimp/source.sh" "$deps/src/assimp")
PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig \
build "${assimpSource##*/}" "$assimpSource" \
  -DBUILD_SHARED_LIBS=OFF -DASSIMP_BUILD_ZLIB=OFF "${zlibArgs[@]}" \
  -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF -DASSIMP_BUILD_OBJ_IMPORTER=ON \
  -DASSIMP_BUILD_ALL_EXPORTERS_BY_DEFAULT=OFF -DASSIMP_NO_EXPORT=ON \
  -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF \
  -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_BUILD_DRACO=OFF \
  -DCMAKE_CXX_FLAGS="-fexceptions -I$prefix/include/utf8cpp -I$prefix/include"

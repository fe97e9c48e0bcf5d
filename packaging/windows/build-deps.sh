#!/usr/bin/env bash
# Builds the demo's Windows libraries from Debian's own source packages, once, into
# one folder (default build/windeps): GLFW, assimp with only its OBJ importer,
# minizip, SDL2 and SDL2_mixer with only its bundled MP3 decoder. Each library leaves
# a stamp when installed, so a rerun does nothing but check the stamps.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
deps=$(mkdir -p "${1:-$root/build/windeps}" && cd "${1:-$root/build/windeps}" && pwd)
prefix=$deps/prefix
toolchain=$root/cmake/mingw-w64-x86_64.cmake
mkdir -p "$deps/src" "$deps/stamps" "$prefix/include"

# shellcheck source=../from-source.sh
. "$root/packaging/from-source.sh"
fetch() { debianSource "$1" "$deps/src"; }

build() { crossBuild Windows "$@" || exit 1; }

# Header-only libraries are used as on Linux, from the host's Debian packages.
for headers in glm stb utf8cpp; do
  ln -sfn "/usr/include/$headers" "$prefix/include/$headers"
done

build glfw "$(fetch glfw3)" \
  -DBUILD_SHARED_LIBS=OFF -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF \
  -DGLFW_BUILD_DOCS=OFF

# zlib is linked statically everywhere, so no zlib1.dll has to ship.
zlibStatic=/usr/x86_64-w64-mingw32/lib/libz.a
zlibSource=$(fetch zlib)
build minizip "$root/packaging/minizip" \
  -DMINIZIP_SOURCE="$zlibSource/contrib/minizip" \
  -DZLIB_LIBRARY_RELEASE="$zlibStatic"
# assimp as a DLL that carries zlib, minizip and the C++ runtime inside it, from the
# same patched source as on Linux (packaging/assimp); its stamp is named after the
# patched tree, so a changed patch set rebuilds it.
# Debian's repack drops the DLL's version resource, which the MinGW build lists as a
# source; a bare one stands in.
assimpSource=$("$root/packaging/assimp/source.sh" "$deps/src/assimp")
mkdir -p "$assimpSource/code/res"
[ -f "$assimpSource/code/res/assimp.rc" ] || cat >"$assimpSource/code/res/assimp.rc" <<'RC'
1 VERSIONINFO
FILEVERSION 5,2,5,0
PRODUCTVERSION 5,2,5,0
BEGIN
END
RC
PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig \
build "${assimpSource##*/}" "$assimpSource" \
  -DBUILD_SHARED_LIBS=ON -DASSIMP_BUILD_ZLIB=OFF \
  -DZLIB_LIBRARY_REL="$zlibStatic" -DZLIB_LIBRARY_DBG="$zlibStatic" \
  -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF -DASSIMP_BUILD_OBJ_IMPORTER=ON \
  -DASSIMP_BUILD_ALL_EXPORTERS_BY_DEFAULT=OFF -DASSIMP_NO_EXPORT=ON \
  -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF \
  -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_INSTALL_PDB=OFF -DASSIMP_BUILD_DRACO=OFF \
  -DCMAKE_CXX_FLAGS="-I$prefix/include/utf8cpp -I$prefix/include" \
  -DCMAKE_SHARED_LINKER_FLAGS="-L$prefix/lib -static-libgcc -static-libstdc++"

# SDL2 without the input and system subsystems nothing here uses. Video stays: on
# Windows SDL's exported API names its window and Direct3D functions regardless.
build sdl2 "$(fetch libsdl2)" \
  -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=ON \
  -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF \
  -DSDL_POWER=OFF -DSDL_LOCALE=OFF -DSDL_MISC=OFF

build sdl2-mixer "$(fetch libsdl2-mixer)" "${sdl2MixerOptions[@]}"

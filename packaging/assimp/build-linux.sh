#!/usr/bin/env bash
# Builds the demo's assimp for Linux from source.sh's tree, into BUILD_DIR/assimp:
#   prefix/  the shared libassimp the demo links and the release bundles
#   asan/    a static one built with AddressSanitizer + UndefinedBehaviorSanitizer, for
#            the sanitized demo and the fuzzer, so that a fault inside the importer
#            is reported where it happens
# Both carry only the OBJ importer, and minizip (from Debian's zlib source) inside them.
# Each variant leaves a stamp naming the patch set (minizip: zlib's version), so a rerun
# only checks the stamps and a changed patch set rebuilds.
#   build-linux.sh [BUILD_DIR]       (default: build)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(mkdir -p "${1:-build}" && cd "${1:-build}" && pwd)
out=$build/assimp
export JOBS=${JOBS:-$(nproc)}
mkdir -p "$out/stamps"
# shellcheck source=../from-source.sh
. "$here/../from-source.sh"

source=$("$here/source.sh" "$out/src")
patchSet=${source##*/assimp-}

# One CMake project into PREFIX, again only when its key (the patch set) changes.
# The key names the library (and so its version in the release's BUNDLED.txt); a
# second stamp holds the recipe, so that changed build steps rebuild it too.
build() {
  local name=$1 key=$2 from=$3 prefix=$4 recipe
  shift 4
  recipe=$(recipeKey "$@")
  [ "$(cat "$out/stamps/$name" 2>/dev/null)" = "$key" ] &&
    [ "$(cat "$out/stamps/$name.recipe" 2>/dev/null)" = "$recipe" ] && return 0
  echo "Building $name ($key)"
  rm -rf "$prefix"
  cmakeInstall "$out/build-$name.log" "$out/build-$name" "$from" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib "$@" || exit 1
  echo "$key" >"$out/stamps/$name"
  echo "$recipe" >"$out/stamps/$name.recipe"
}

# pkg-config must find this minizip (its own .pc), not a system one that may be installed.
minizip=$out/minizip
zlibSource=$(debianSource zlib "$out/src/debian")
build minizip "${zlibSource##*/}" "$here/../minizip" "$minizip" -DMINIZIP_SOURCE="$zlibSource/contrib/minizip"
pcDir=$minizip/lib/pkgconfig

common=(
  -DASSIMP_BUILD_ZLIB=OFF
  -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF -DASSIMP_BUILD_OBJ_IMPORTER=ON
  -DASSIMP_BUILD_ALL_EXPORTERS_BY_DEFAULT=OFF -DASSIMP_NO_EXPORT=ON
  -DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF -DASSIMP_BUILD_SAMPLES=OFF
  -DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_BUILD_DRACO=OFF -DASSIMP_INSTALL_PDB=OFF
  -DCMAKE_CXX_FLAGS="-I/usr/include/utf8cpp"
)
# assimp links minizip by name: the search path makes it this static one, never a
# system libminizip.so that the release would then have to carry.
PKG_CONFIG_LIBDIR=$pcDir build assimp "$patchSet" "$source" "$out/prefix" "${common[@]}" \
  -DBUILD_SHARED_LIBS=ON -DCMAKE_SHARED_LINKER_FLAGS="-L$minizip/lib"
sanitize="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined"
PKG_CONFIG_LIBDIR=$pcDir build assimp-asan "$patchSet" "$source" "$out/asan" "${common[@]}" \
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-I/usr/include/utf8cpp $sanitize" -DCMAKE_C_FLAGS="$sanitize"
cp "$source/debian/copyright" "$out/copyright"

#!/usr/bin/env bash
# Packs the Windows stage folder into the release zip:
# norrvale-<version>-windows-x86_64/ with norrvale.exe, its DLLs, the data and the
# release text, and licences/ with the notices of everything built in or shipped.
# Usage: dist.sh WINDOWS_STAGE DIST_FOLDER WINDOWS_DEPS
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
stage=$1
dist=$2
deps=$3
name=norrvale-$(bash "$root/packaging/version.sh")-windows-x86_64

rm -rf "${dist:?}/$name" "$dist/$name.zip"
mkdir -p "$dist/$name"
cp -r "$stage"/norrvale.exe "$stage"/*.dll "$stage"/*.mp3 "$stage"/imgs "$stage"/shdrs \
  "$dist/$name/"
cp "$root/packaging/norrvale.txt" "$dist/$name/norrvale.txt"

# The BSD, MIT and zlib licences ask for their notices beside binary copies: the
# libraries built from Debian's sources carry theirs in debian/copyright, the MinGW
# runtime (libwinpthread, the static libstdc++) and the header-only libraries in the
# host's package documentation.
mkdir -p "$dist/$name/licences"
for package in glfw3 assimp libsdl2 libsdl2-mixer zlib; do
  copyright=$(find "$deps/src" -maxdepth 5 -path "*/$package-[0-9]*/debian/copyright" | head -n 1)
  [ -n "$copyright" ] || { echo "no debian/copyright for $package under $deps/src" >&2; exit 1; }
  cp "$copyright" "$dist/$name/licences/$package.txt"
done
for package in mingw-w64-x86-64-dev:mingw-w64-runtime gcc-mingw-w64-base:gcc-runtime \
               libglm-dev:glm libstb-dev:stb python3-glad:glad; do
  copyright=/usr/share/doc/${package%%:*}/copyright
  [ -f "$copyright" ] || { echo "$copyright is missing (run scripts/setup.sh)" >&2; exit 1; }
  cp "$copyright" "$dist/$name/licences/${package#*:}.txt"
done
(cd "$dist" && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "${dist:?}/$name"
echo "$dist/$name.zip"

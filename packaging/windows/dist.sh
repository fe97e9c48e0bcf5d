#!/usr/bin/env bash
# Packs the Windows stage folder into the release zip:
# norrvale-<version>-windows-x86_64/ with norrvale.exe, its DLLs, the data and the
# release text, and licences/ with the notices of everything built in or shipped.
# Usage: dist.sh WINDOWS_STAGE DIST_FOLDER WINDOWS_DEPS
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../zip-release.sh
. "$root/packaging/zip-release.sh"
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
sourceLicences "$deps" "$dist/$name/licences" glfw3 assimp libsdl2 libsdl2-mixer zlib
hostLicences scripts/setup.sh "$dist/$name/licences" \
  mingw-w64-x86-64-dev:mingw-w64-runtime gcc-mingw-w64-base:gcc-runtime \
  libglm-dev:glm libstb-dev:stb python3-glad:glad
packZip "$dist" "$name"

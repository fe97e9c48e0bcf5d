#!/usr/bin/env bash
# Packs the Windows stage folder into the release zip:
# norrvale-<version>-windows-x86_64/ with norrvale.exe, its DLLs, the data and the
# release text.
# Usage: dist.sh WINDOWS_STAGE DIST_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
stage=$1
dist=$2
name=norrvale-$(bash "$root/packaging/version.sh")-windows-x86_64

rm -rf "${dist:?}/$name" "$dist/$name.zip"
mkdir -p "$dist/$name"
cp -r "$stage"/norrvale.exe "$stage"/*.dll "$stage"/*.mp3 "$stage"/imgs "$stage"/shdrs \
  "$dist/$name/"
cp "$root/packaging/norrvale.txt" "$dist/$name/norrvale.txt"
(cd "$dist" && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "${dist:?}/$name"
echo "$dist/$name.zip"

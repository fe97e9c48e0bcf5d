#!/usr/bin/env bash
# Packs the browser build into the release zip: norrvale-<version>-web/ with the page,
# its files, the release text and licences/ with the notices of everything compiled in.
# Every path in the page is relative, so the folder plays from any static host as it is.
# Usage: dist.sh WEB_FOLDER DIST_FOLDER [WEB_DEPS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=../zip-release.sh
. "$root/packaging/zip-release.sh"
web=$1
dist=$2
deps=${3:-$(dirname "$web")/webdeps}
name=norrvale-$(bash "$root/packaging/version.sh")-web

rm -rf "${dist:?}/$name" "$dist/$name.zip"
mkdir -p "$dist/$name/licences"
for file in index.html page.js page.css manifest.json generators_worker.js \
            norrvale.js norrvale.wasm norrvale.data content.data \
            bake.js bake.wasm synth.js synth.wasm tessmer-trancedemo5.mp3; do
  cp "$web/$file" "$dist/$name/"
done
# and each of them but the page's own, the worker and the track packed beside itself
for file in norrvale.js norrvale.wasm norrvale.data content.data bake.js bake.wasm synth.js synth.wasm; do
  cp "$web/$file.gz" "$dist/$name/"
done
cp "$root/packaging/web/norrvale-web.txt" "$dist/$name/norrvale.txt"

# The zlib, BSD and MIT licences ask for their notices beside binary copies: assimp and
# zlib (with minizip) from their Debian source packages; emscripten's runtime (its JS,
# musl, libc++, libc++abi, compiler-rt), the header-only libraries and the DejaVu fonts
# (a subset of them is inside bake.wasm) from the host's package documentation.
sourceLicences "$deps" "$dist/$name/licences" assimp zlib
hostLicences "scripts/setup.sh web" "$dist/$name/licences" \
  emscripten:emscripten libglm-dev:glm libstb-dev:stb fonts-dejavu-core:dejavu-fonts
packZip "$dist" "$name"

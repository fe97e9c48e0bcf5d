#!/usr/bin/env bash
# Prints the folder of the demo's assimp source: Debian's source package with Debian's
# own patches, then ours from patches/ in the order of patches/series (each says why).
# Linux, Windows and any other build use this one tree.
#   source.sh CACHE_DIR
# The Debian source is fetched into CACHE_DIR/debian once; the patched tree is made
# anew whenever the patch set changes, so a build keyed on its name never goes stale.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
cache=$(mkdir -p "$1" && cd "$1" && pwd)
# shellcheck source=../from-source.sh
. "$here/../from-source.sh"

patchSet=$(cd "$here/patches" && cat series $(cat series) | sha256sum | cut -c1-12)
tree=$cache/assimp-$patchSet
if [ ! -f "$tree/.patched" ]; then
  pristine=$(debianSource assimp "$cache/debian")
  rm -rf "$cache"/assimp-*
  cp -a "$pristine" "$tree.partial"
  while read -r name; do
    [ -n "$name" ] || continue
    if ! patch -d "$tree.partial" -p1 -s -f --no-backup-if-mismatch <"$here/patches/$name" >&2; then
      echo "The assimp patch $name does not apply to $(basename "$pristine")" >&2
      exit 1
    fi
  done <"$here/patches/series"
  mv "$tree.partial" "$tree"
  touch "$tree/.patched"
fi
echo "$tree"

#!/usr/bin/env bash
# Writes DIST/SHA256SUMS for the release files of this version found in DIST, so that a
# download can be checked and two machines' builds compared at a glance.
#   checksums.sh DIST
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$1
version=$(bash "$root/packaging/version.sh")
cd "$dist"
files=()
for file in "norrvale-$version-linux-x86_64.tar.gz" "norrvale-$version-windows-x86_64.zip" \
            "norrvale-$version-web.zip"; do
  [ -f "$file" ] && files+=("$file")
done
if [ ${#files[@]} -gt 0 ]; then
  sha256sum "${files[@]}" >SHA256SUMS.partial && mv SHA256SUMS.partial SHA256SUMS
fi

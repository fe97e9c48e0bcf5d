#!/usr/bin/env bash
# Prints the release version: the nearest git tag (with the commits since it) when the
# tree is a git checkout with tags, else the VERSION file, so an exported source tree
# names its archives the same way a clone does.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
if described=$(git -C "$root" describe --tags --dirty 2>/dev/null); then
  echo "${described#v}"
else
  tr -d ' \n' < "$root/VERSION"
  echo
fi

#!/usr/bin/env bash
# Completes the Windows stage folder with the content the native build baked: the
# images and models, and the soundtrack. The shaders are staged by the Windows build
# itself, and the Linux program stays behind.
# Usage: stage.sh NATIVE_STAGE WINDOWS_STAGE
set -euo pipefail
from=$1
to=$2
mkdir -p "$to/imgs"
cp -u "$from"/imgs/* "$to/imgs/"
cp -u "$from"/*.mp3 "$to/"

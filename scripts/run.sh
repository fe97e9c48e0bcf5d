#!/usr/bin/env bash
# Plays the staged demo from its own folder, since it reads its files relative to
# the working directory.
set -u
stage=${1:-build/stage}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Norrvale needs a display for its fullscreen 1920x1080 window and this session has none; run \`make video\` to get the demo as build/norrvale.mp4 instead." >&2
  exit 1
fi
cd "$stage" && exec ./norrvale

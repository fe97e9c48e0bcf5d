#!/usr/bin/env bash
# Plays the staged demo from its own folder, since it reads its files relative to
# the working directory.
set -u
stage=${1:-build/stage}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open the demo's fullscreen window on: run it from a desktop session, or headless with: xvfb-run -a -s \"-screen 0 1920x1080x24\" make run" >&2
  exit 1
fi
cd "$stage" && exec ./norrvale

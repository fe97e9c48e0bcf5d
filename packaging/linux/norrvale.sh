#!/bin/sh
# Starts Norrvale from wherever it is called: the demo reads its shaders, images and
# music relative to the working directory, and finds its libraries in lib/ beside it.
# exec keeps the program's exit status and its error messages as they are.
cd "$(dirname "$(readlink -f "$0")")" || exit 1
exec ./norrvale

#!/usr/bin/env bash
# Renders docs/screens/: every dialog through vardobk_gallery, and vdhost
# with its backup dialog open on a virtual X display (xvfb-run). That display
# has no window manager, so the window frames and titles are not in the picture.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target vardobk_gallery vdhost -j2
out=$PWD/docs/screens
mkdir -p "$out"
build/bin/vardobk_gallery "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
xvfb-run -a -s "-screen 0 1100x720x24" build/bin/vdhost --screenshot "$out/vdhost.png" "$work/host"

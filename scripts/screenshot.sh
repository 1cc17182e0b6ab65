#!/usr/bin/env bash
# Renders the README's picture of the main window under Xvfb:
# the box and the rounded box from examples/ blended at 50 %.
# Usage: scripts/screenshot.sh [build dir] [out.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/plivra.png}
cmake --build "$build" --target window_screenshot
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/app/window_screenshot" examples/box.suf examples/rounded_box.suf "$out"
echo "wrote $out"

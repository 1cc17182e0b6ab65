#!/usr/bin/env bash
# The main job of `make run`: the desktop program plivra. Without a display
# it says so in one line and how to run it under Xvfb, instead of letting the
# toolkit abort. scripts/cli_demo.sh shows plivra-cli on the examples.
# Usage: bash scripts/run.sh [BUILD_DIR]
set -euo pipefail

build=$(realpath "${1:-build}")
cd "$(dirname "$0")/.."
exec "$build/app/plivra"

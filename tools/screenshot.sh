#!/usr/bin/env bash
# Makes docs/main-window.png: builds the program, starts a copy of it offscreen with empty
# settings and no optional files (no skin, cursor or splash), and lets it save its window.
# Usage: tools/screenshot.sh [output.png]   (PRESET=debug to use that build)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${PRESET:-default}
output=$(realpath -m "${1:-docs/main-window.png}")

[[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target varnocliff >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"
cp "build/$preset/bin/varnocliff" "$scratch/bin/"
mkdir -p "$(dirname "$output")"

QT_QPA_PLATFORM=offscreen HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" \
    XDG_RUNTIME_DIR="$scratch/runtime" VARNOCLIFF_SCREENSHOT="$output" \
    timeout 60 "$scratch/bin/varnocliff"
echo "wrote $output"

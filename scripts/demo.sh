#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The demo: installs what is missing, builds the plug-in with the example
# preset, runs the example frame script through it, plots the tone curve
# of its HDR10+ layer, and writes the report page of a real 259-frame clip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# A build of its own, so that the test build (build/) keeps an empty store.
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_BUILD_TESTS=OFF \
      -DKESTREL_PRESET_FILE="$PWD/examples/presets/example_preset.json"
cmake --build build-demo -j"$(nproc)" --target kestrel

mkdir -p out
echo "== kestrel frame examples/frames/demo.json --quiet"
# Quiet: the plug-in's own trace lines would bury the layer outcomes and the
# decoded block (its error lines still reach standard error).
./build-demo/kestrel frame examples/frames/demo.json --quiet --block-out out/demo-block.bin
echo
echo "== kestrel lut examples/metadata/single-frame-metadata.json --target-nits 500"
./build-demo/kestrel lut examples/metadata/single-frame-metadata.json --target-nits 500 \
    --plot out/demo-tone-curve.png
echo
echo "== kestrel report examples/metadata/regular_metadata.json --target-nits 400,600,1000"
./build-demo/kestrel report examples/metadata/regular_metadata.json --target-nits 400,600,1000 \
    -o out/demo-report.html
echo
echo "Wrote out/demo-block.bin (the frame's 1416-byte block), out/demo-tone-curve.png and"
echo "out/demo-report.html (the whole clip on three displays: open it in a browser)."
echo "The tool is ./build-demo/kestrel (its plug-in has the example preset compiled in)."

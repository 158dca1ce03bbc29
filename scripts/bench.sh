#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Builds the benchmarks (in build-bench/, the library's default optimisation,
# RelWithDebInfo) and runs every case five times, printing mean, median and
# spread; then runs a film through the kestrel tool (scripts/film_bench.py:
# report, lut --all-frames and metadata over 172,800 frames of HDR10+ JSON,
# and report over the same length of HEVC stream), printing wall time, CPU
# time and peak RSS per command, then the film page's first paint and the
# time to choose a frame in headless Chromium. docs/performance.md records
# both.
#
#   bash scripts/bench.sh                       all cases, then the film
#   bash scripts/bench.sh --benchmark_filter=GetParams   extra Google Benchmark flags
#
# The film uses the tool built here in build-bench-tool/, or the program
# named by KESTREL=PATH (to measure another build); KESTREL_FILM_FRAMES sets
# its length, KESTREL_FILM=0 leaves it out. The films are written once into
# build-film/ and kept.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

mkdir -p build-bench
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_BUILD_BENCH=ON \
  -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_TOOLS=OFF >build-bench/configure.log 2>&1 ||
  { cat build-bench/configure.log; exit 1; }
cmake --build build-bench -j"$(nproc)" --target kestrel_bench >build-bench/build.log 2>&1 ||
  { tail -n 60 build-bench/build.log; exit 1; }
build-bench/bench/kestrel_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true "$@"

[ "${KESTREL_FILM:-1}" = 0 ] && exit 0
kestrel=${KESTREL:-}
if [ -z "$kestrel" ]; then
  mkdir -p build-bench-tool
  cmake -S . -B build-bench-tool -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_BUILD_BENCH=OFF \
    -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_TOOLS=ON >build-bench-tool/configure.log 2>&1 ||
    { cat build-bench-tool/configure.log; exit 1; }
  cmake --build build-bench-tool -j"$(nproc)" --target kestrel >build-bench-tool/build.log 2>&1 ||
    { tail -n 60 build-bench-tool/build.log; exit 1; }
  kestrel=build-bench-tool/kestrel  # beside the plug-in, as the tool expects
fi
python3 scripts/film_bench.py --kestrel "$kestrel" --frames "${KESTREL_FILM_FRAMES:-172800}" \
  --work build-film --markdown build-film/film-bench.md

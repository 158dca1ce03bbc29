#!/usr/bin/env bash
# Builds the benchmarks (in build-bench/, the library's default optimisation,
# RelWithDebInfo) and runs every case five times, printing mean, median and
# spread; docs/performance.md records the medians.
#
#   bash scripts/bench.sh                       all cases
#   bash scripts/bench.sh --benchmark_filter=GetParams   extra Google Benchmark flags
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

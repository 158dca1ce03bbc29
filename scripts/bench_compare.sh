#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Times the working tree's library against an earlier commit's, both built as
# scripts/bench.sh builds them, on a shared machine. Both binaries are built
# from the working tree's bench/ (the same cases and the same code timing
# them: the frame path and the numerical entry points, kestrel_bench_core),
# each linked with its own commit's library; they run alternately, one
# short run each per round, and every round gives one ratio (new / old, CPU
# time) per case. The medians of those ratios are what docs/performance.md
# records; the absolute medians are printed beside them.
#
#   bash scripts/bench_compare.sh COMMIT [ROUNDS] [FILTER]
#
# e.g. bash scripts/bench_compare.sh 73fb734 15 'Meta2Lut|GetParams_One'
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:?usage: $0 COMMIT [ROUNDS] [FILTER]}
rounds=${2:-15}
filter=${3:-Meta2Lut|GetParams_One}
bash scripts/setup.sh

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
configure_and_build() {  # source dir, build dir
  cmake -S "$1" -B "$2" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_BUILD_BENCH=ON \
    -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_TOOLS=OFF >"$2.configure.log" 2>&1 ||
    { cat "$2.configure.log"; exit 1; }
  cmake --build "$2" -j"$(nproc)" --target kestrel_bench_core >"$2.build.log" 2>&1 ||
    { tail -n 60 "$2.build.log"; exit 1; }
}

rev=$(git rev-parse --short "$base")
old_src=build-compare/src-$rev
if [ ! -d "$old_src" ]; then
  mkdir -p "$old_src"
  git archive "$rev" | tar -x -C "$old_src"
fi
# Today's benchmark sources over the old library.
rm -rf "$old_src/bench" && cp -r bench "$old_src/bench"
configure_and_build "$old_src" "build-compare/build-$rev"
configure_and_build . build-compare/build-head

out=build-compare/runs
rm -rf "$out" && mkdir -p "$out"
for ((i = 0; i < rounds; i++)); do
  for side in old new; do
    if [ $side = old ]; then bin=build-compare/build-$rev/bench/kestrel_bench_core
    else bin=build-compare/build-head/bench/kestrel_bench_core; fi
    "$bin" --benchmark_filter="$filter" --benchmark_min_time=0.2 \
      --benchmark_format=json >"$out/$side-$i.json" 2>/dev/null
  done
done

python3 - "$out" "$rounds" "$rev" <<'EOF'
import json, statistics, sys
out, rounds, rev = sys.argv[1], int(sys.argv[2]), sys.argv[3]
def cpu(path):
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    # The pipe reader's thread is not in CPU time; wall time is what
    # manual-time cases report.
    return {b["name"]: b["cpu_time"] for b in runs}
ratios, olds, news = {}, {}, {}
for i in range(rounds):
    old, new = cpu(f"{out}/old-{i}.json"), cpu(f"{out}/new-{i}.json")
    for name in old.keys() & new.keys():
        ratios.setdefault(name, []).append(new[name] / old[name])
        olds.setdefault(name, []).append(old[name])
        news.setdefault(name, []).append(new[name])
print(f"CPU time, medians of {rounds} alternating rounds; ratio = working tree / {rev}")
print(f"{'case':58} {rev:>10} {'now':>10} {'ratio':>7} {'min':>6} {'max':>6}")
for name in sorted(ratios):
    r = ratios[name]
    print(f"{name:58} {statistics.median(olds[name]):10.3f} {statistics.median(news[name]):10.3f}"
          f" {statistics.median(r):7.3f} {min(r):6.3f} {max(r):6.3f}")
EOF

#!/usr/bin/env bash
# Every benchmark of the project in one run, each beside its anchor, for
# docs/performance.md. Builds nothing: cmake --build <build-dir> first (the
# Google Benchmark programs need libbenchmark-dev). Takes about 6 minutes.
#   bash bench/all.sh [build-dir]
set -euo pipefail
build=${1:-build}
here=$(dirname "$0")
echo "== $(date -u '+%F %T') UTC, source $(git -C "$here/.." describe --always --dirty 2>/dev/null || echo unknown), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== start-up, Pollwright, then the empty window with its title"
bash "$here/startup.sh" "$build/app/pollwright" 15 | grep "^startup"
bash "$here/startup.sh" "$build/bench/bare_window" 15 | grep "^startup"
for b in codec_bench polltable_bench pollfile_bench; do
    if [[ -x $build/bench/$b ]]; then
        echo "== $b (medians of 3)"
        "$build/bench/$b" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'median|^Benchmark'
    else
        echo "== $b not built (libbenchmark-dev missing)"
    fi
done
echo "== polling engine"
bash "$here/engine.sh" "$build" 1

#!/usr/bin/env bash
# make bench: whole-process table, then the micro-benchmarks.
set -euo pipefail
build="${1:-build/release}"
cd "$(dirname "$0")/.."
python3 bench/run_bench.py "$build"
"$build/decoder_bench" --benchmark_min_time=0.2

#!/usr/bin/env bash
# Builds the benchmarks (bench preset, release) and runs the page benchmark:
#   bench/run.sh [Google Benchmark flags, e.g. --benchmark_filter=64MiB]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
exec build/bench/bench/page_bench "$@"

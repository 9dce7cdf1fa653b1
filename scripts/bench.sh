#!/usr/bin/env bash
# Builds in release mode and runs the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DCANTOREL_TESTS=OFF >/dev/null
cmake --build build-run --target scan_bench rtf_bench cache_bench
build-run/bin/scan_bench "$@"
build-run/bin/cache_bench
build-run/bin/rtf_bench
cmake --build build-run --target search_bench start_bench mpeg
build-run/bin/start_bench
build-run/bin/search_bench

cmake --build build-run --target cantorel-cli mpeg
bench/decode_bench.sh build-run/bin

#!/usr/bin/env bash
# Builds in release mode and runs the playback benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DCANTOREL_TESTS=OFF >/dev/null
cmake --build build-run --target cantorel-cli mpeg playback_timing
bench/playback_bench.sh build-run/bin

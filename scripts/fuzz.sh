#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30) on a
# copy of its seed corpus. Fails when a target finds a crash; the crashing input is kept
# in build-fuzz/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
scripts/setup.sh fuzz
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCANTOREL_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
targets=(configuration descriptions probe playlist rtf decoder id3v2 proberecord)
cmake --build build-fuzz --target "${targets[@]/#/fuzz_}"
mkdir -p build-fuzz/artifacts
status=0
for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  cp tests/fuzz/corpus/$target/* "$corpus"/
  echo "fuzz_$target: $seconds s"
  # The tag readers must stay small whatever a tag holds.
  # The sanitizer's quarantine of freed memory (256 MB by default) would count against
  # that limit: a small one keeps the measure to what the reader holds.
  limits="-rss_limit_mb=2048"
  [ "$target" = id3v2 ] && limits="-rss_limit_mb=256 -malloc_limit_mb=64"
  if ! ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=16" build-fuzz/bin/fuzz_$target -max_total_time="$seconds" -timeout=10 $limits \
      -artifact_prefix=build-fuzz/artifacts/$target- -print_final_stats=1 "$corpus" \
      > build-fuzz/fuzz_$target.log 2>&1; then
    echo "fuzz_$target FAILED:"; tail -40 build-fuzz/fuzz_$target.log
    status=1
  else
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build-fuzz/fuzz_$target.log | sed 's/^/  /'
  fi
  rm -rf "$corpus"
done
exit $status

#!/usr/bin/env bash
# Installs what is missing, checks the layout of the C++ files, builds with
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test. Under CI it also
# builds the Release configuration once, so that it stays warning-clean.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test

# Every C++ file is laid out as .clang-format says.
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
  echo "error: the files above are not laid out as .clang-format says (clang-format -i FILE mends them)" >&2
  exit 1
fi

build=${CANTOREL_TEST_BUILD:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCANTOREL_SANITIZE=ON >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# A PulseAudio server of our own with a null sink, so that playback to the sound output
# is tested too; it ends with this script.
pulse_dir=$(mktemp -d)
pulse_pid=
cleanup() {
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
  rm -rf "$pulse_dir"
}
trap cleanup EXIT
XDG_RUNTIME_DIR=$pulse_dir pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --use-pid-file=no \
  --load="module-null-sink sink_name=cantorel_null norewinds=1" \
  --load="module-native-protocol-unix socket=$pulse_dir/native auth-anonymous=1" \
  >"$pulse_dir/log" 2>&1 &
pulse_pid=$!
export PULSE_SERVER=unix:$pulse_dir/native
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
if pactl info >/dev/null 2>&1; then
  export CANTOREL_TEST_SINK=cantorel_null
else
  echo "warning: the PulseAudio null sink did not start; its test is skipped" >&2
  cat "$pulse_dir/log" >&2
fi

ctest_log="$pulse_dir/ctest.log"
status=0
set +e
ctest --test-dir "$build" --output-on-failure -j 2 --timeout 300 2>&1 | tee "$ctest_log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
set -e

# Every parser of untrusted input under libFuzzer for a while (30 s each by default).
scripts/fuzz.sh "${CANTOREL_FUZZ_SECONDS:-30}" || status=1

if [ "${CI:-}" = true ]; then
  echo "Release build (warnings are errors):"
  cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build-release > build-release/build.log 2>&1 || { tail -40 build-release/build.log; status=1; }
fi

# One closing line for the whole run, whatever failed before it.
total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$ctest_log" | tail -1)
failed=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$ctest_log" | tail -1)
skipped=$(grep -c '\*\*\*Skipped' "$ctest_log" || true)
[ -n "$total" ] || status=1
echo "tests: $(( ${total:-0} - ${failed:-0} - skipped )) passed, ${failed:-0} failed, $skipped skipped"
exit $status

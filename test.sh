#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs them all with ctest, runs the thumbnail builder's threads under
# ThreadSanitizer, then runs every fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVISTEL_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" | tee "$build/ctest.log"

# The thumbnail builder's worker threads once more, in a ThreadSanitizer build of their test alone.
tsan=build/tsan
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTEL_TSAN=ON
cmake --build "$tsan" -j"$(nproc)" --target pipeline_tests
TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1} "$tsan/tests/app/pipeline_tests"

scripts/fuzz.sh "${VISTEL_FUZZ_SECONDS:-20}"

# The tests' verdict once more, as the run's closing line.
grep -E "tests passed|tests failed" "$build/ctest.log" | tail -n 1

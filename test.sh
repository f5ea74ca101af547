#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs them all with ctest, then runs every fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup.sh

build=build/asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVISTEL_SANITIZE=ON
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" | tee "$build/ctest.log"

scripts/fuzz.sh "${VISTEL_FUZZ_SECONDS:-20}"

# The tests' verdict once more, as the run's closing line.
grep -E "tests passed|tests failed" "$build/ctest.log" | tail -n 1

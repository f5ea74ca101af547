#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each for a bounded time on its seeds.
# Usage: scripts/fuzz.sh [seconds per target]
# VISTEL_FUZZ_JOBS=N runs N fuzzing processes per target (one target at a time), for long runs on
# every core; VISTEL_FUZZ_ONLY="png jpeg" limits the run to the named targets. The corpus each
# target grows is kept in build/fuzz/corpus/<name> between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
jobs=${VISTEL_FUZZ_JOBS:-1}
only=${VISTEL_FUZZ_ONLY:-}

if ! command -v clang++-14 >/dev/null && ! command -v clang++ >/dev/null; then
    echo "fuzz: clang is not installed; fuzz targets skipped"
    exit 0
fi
cxx=$(command -v clang++-14 || command -v clang++)

build=$PWD/build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
    -DVISTEL_FUZZ=ON -DVISTEL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

# Leaks inside third-party libraries that the targets cannot mend are listed in fuzz/lsan.supp.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$PWD/fuzz/lsan.supp"

status=0
for target in "$build"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target" | sed 's/^fuzz_//')
    if [ -n "$only" ] && [[ " $only " != *" $name "* ]]; then
        continue
    fi
    seeds="$build/seeds/$name"
    corpus="$build/corpus/$name"
    artifacts="$build/artifacts/$name/"
    rm -rf "$seeds"
    mkdir -p "$seeds" "$corpus" "$artifacts"
    # Each target's seeds are made from the shared test images by a script of its own.
    if [ -x "scripts/make-$name-seeds.sh" ]; then
        "scripts/make-$name-seeds.sh" "$seeds"
    fi
    echo "fuzz: $name for ${seconds}s on $(ls "$seeds" | wc -l) seeds, $jobs process(es)"
    parallel=()
    if [ "$jobs" -gt 1 ]; then
        # The workers log to fuzz-<n>.log in the folder they start in: the build folder.
        parallel=(-jobs="$jobs" -workers="$jobs")
    fi
    if ! (cd "$build" && "$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
        -print_final_stats=1 "${parallel[@]}" -artifact_prefix="$artifacts" "$corpus" "$seeds") \
        >"$build/$name.log" 2>&1; then
        echo "fuzz: $name found a failure; the input is in $artifacts" >&2
        tail -n 60 "$build/$name.log" >&2
        status=1
    else
        grep -E "stat::number_of_executed_units" "$build/$name.log" || true
    fi
done
exit $status

#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each for a bounded time on its seeds.
# Usage: scripts/fuzz.sh [seconds per target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}

if ! command -v clang++-14 >/dev/null && ! command -v clang++ >/dev/null; then
    echo "fuzz: clang is not installed; fuzz targets skipped"
    exit 0
fi
cxx=$(command -v clang++-14 || command -v clang++)

build=build/fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
    -DVISTEL_FUZZ=ON -DVISTEL_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

status=0
for target in "$build"/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target" | sed 's/^fuzz_//')
    seeds="$build/seeds/$name"
    corpus="$build/corpus/$name"
    artifacts="$build/artifacts/$name/"
    rm -rf "$seeds"
    mkdir -p "$seeds" "$corpus" "$artifacts"
    # Each target's seeds are made from the shared test images by a script of its own.
    if [ -x "scripts/make-$name-seeds.sh" ]; then
        "scripts/make-$name-seeds.sh" "$seeds"
    fi
    echo "fuzz: $name for ${seconds}s on $(ls "$seeds" | wc -l) seeds"
    if ! "$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$corpus" "$seeds" >"$build/$name.log" 2>&1; then
        echo "fuzz: $name found a failure; the input is in $artifacts" >&2
        tail -n 60 "$build/$name.log" >&2
        status=1
    else
        grep -E "stat::number_of_executed_units" "$build/$name.log" || true
    fi
done
exit $status

#!/usr/bin/env bash
# Makes the seeds of the JPEG fuzz target: the small JPEG files of the shared test images, whole
# (baseline, progressive, arithmetic, greyscale, CMYK, strips, truncated files).
# Usage: scripts/make-jpeg-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
if [ -d "$corpus/jpeg" ]; then
    while IFS= read -r -d '' file; do
        # Large files teach the fuzzer nothing the small ones do not, and slow every run.
        [ "$(stat -c %s "$file")" -le 32768 ] || continue
        name=$(echo "${file#"$corpus/"}" | tr '/' '_')
        cp "$file" "$out/$name"
        count=$((count + 1))
    done < <(find "$corpus/jpeg" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -print0)
fi
echo "make-jpeg-seeds: $count seeds in $out"

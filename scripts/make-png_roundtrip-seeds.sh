#!/usr/bin/env bash
# Makes the seeds of the PNG round-trip fuzz target: every valid PngSuite image and the further
# PNG files of the shared test images, small ones first.
# Usage: scripts/make-png_roundtrip-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
for folder in pngsuite png; do
    [ -d "$corpus/$folder" ] || continue
    while IFS= read -r -d '' file; do
        # Large files teach the fuzzer nothing the small ones do not, and slow every run.
        [ "$(stat -c %s "$file")" -le 65536 ] || continue
        name=$(echo "${file#"$corpus/"}" | tr '/' '_')
        cp "$file" "$out/$name"
        count=$((count + 1))
    done < <(find "$corpus/$folder" -type f -iname '*.png' -print0)
done
echo "make-png_roundtrip-seeds: $count seeds in $out"

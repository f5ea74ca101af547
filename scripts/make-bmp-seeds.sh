#!/usr/bin/env bash
# Makes the seeds of the BMP fuzz target: every BMP file of the shared test images, whole, small
# ones first so the fuzzer spends its time on short inputs.
# Usage: scripts/make-bmp-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
for folder in bmpsuite/g bmpsuite/q bmpsuite/b bmp; do
    [ -d "$corpus/$folder" ] || continue
    while IFS= read -r -d '' file; do
        # Large files teach the fuzzer nothing the small ones do not, and slow every run.
        [ "$(stat -c %s "$file")" -le 65536 ] || continue
        name=$(echo "${file#"$corpus/"}" | tr '/' '_')
        cp "$file" "$out/$name"
        count=$((count + 1))
    done < <(find "$corpus/$folder" -type f -iname '*.bmp' -print0)
done
echo "make-bmp-seeds: $count seeds in $out"

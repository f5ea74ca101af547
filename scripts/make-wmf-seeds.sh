#!/usr/bin/env bash
# Makes the seeds of the Windows-metafile fuzz target: every metafile of the shared test images,
# as it is (the target takes a placeable header off itself).
# Usage: scripts/make-wmf-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
while IFS= read -r -d '' file; do
    name=$(echo "${file#"$corpus/"}" | tr '/' '_')
    cp "$file" "$out/$name"
    count=$((count + 1))
done < <(find "$corpus/wmf" -type f -iname '*.wmf' -print0)
echo "make-wmf-seeds: $count seeds in $out"

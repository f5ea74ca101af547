#!/usr/bin/env bash
# Makes the seeds of the metafile graphic's fuzz target: every enhanced and Windows metafile of
# the shared test images, as files hold them.
# Usage: scripts/make-metafile-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
while IFS= read -r -d '' file; do
    name=$(echo "${file#"$corpus/"}" | tr '/' '_')
    cp "$file" "$out/$name"
    count=$((count + 1))
done < <(find "$corpus/wmf" "$corpus/emf" -type f \( -iname '*.wmf' -o -iname '*.emf' \) -print0)
echo "make-metafile-seeds: $count seeds in $out"

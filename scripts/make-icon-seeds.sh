#!/usr/bin/env bash
# Makes the seeds of the icon fuzz target: every icon and cursor file of the shared test images,
# small ones first, plus the images of a few of them cut short at their mask and colour table.
# Usage: scripts/make-icon-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
[ -d "$corpus/ico" ] || { echo "make-icon-seeds: no icons in $corpus"; exit 0; }
while IFS= read -r -d '' file; do
    size=$(stat -c %s "$file")
    # Large files teach the fuzzer nothing the small ones do not, and slow every run.
    [ "$size" -le 65536 ] || continue
    name=$(echo "${file#"$corpus/"}" | tr '/' '_')
    cp "$file" "$out/$name"
    count=$((count + 1))
    # Cut-short copies reach the size checks of the directory, the colour table and the mask.
    if [ "$size" -le 4096 ]; then
        for keep in 21 70 $((size / 2)) $((size - 4)); do
            [ "$keep" -gt 6 ] && [ "$keep" -lt "$size" ] || continue
            head -c "$keep" "$file" >"$out/$name.cut$keep"
            count=$((count + 1))
        done
    fi
done < <(find "$corpus/ico" -type f \( -iname '*.ico' -o -iname '*.cur' \) -print0)
echo "make-icon-seeds: $count seeds in $out"

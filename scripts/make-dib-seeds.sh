#!/usr/bin/env bash
# Makes the seeds of the DIB fuzz target: every BMP file of the shared test images without its
# 14-byte file header, so that each seed is a BITMAPINFO (header, table or masks) followed by the
# pixels, as the BMP and icon readers hand them to the raster layer.
# Usage: scripts/make-dib-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
for folder in bmpsuite/g bmpsuite/q bmp; do
    [ -d "$corpus/$folder" ] || continue
    while IFS= read -r -d '' file; do
        name=$(echo "${file#"$corpus/"}" | tr '/' '_')
        tail -c +15 "$file" >"$out/${name%.bmp}.dib"
        count=$((count + 1))
    done < <(find "$corpus/$folder" -type f -iname '*.bmp' -print0)
done
echo "make-dib-seeds: $count seeds in $out"

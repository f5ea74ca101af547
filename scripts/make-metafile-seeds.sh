#!/usr/bin/env bash
# Makes the seeds of the metafile fuzz targets: the metafiles of the shared test images, as files
# hold them (the Windows-metafile target takes a placeable header off itself).
# Usage: scripts/make-metafile-seeds.sh <output folder> [kinds, "wmf emf" unless given]
set -euo pipefail
out=${1:?usage: $0 <output folder> [kinds]}
kinds=${2:-wmf emf}
label=${SEEDS_LABEL:-make-metafile-seeds}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
for kind in $kinds; do
    [ -d "$corpus/$kind" ] || continue
    while IFS= read -r -d '' file; do
        name=$(echo "${file#"$corpus/"}" | tr '/' '_')
        cp "$file" "$out/$name"
        count=$((count + 1))
    done < <(find "$corpus/$kind" -type f -iname "*.$kind" -print0)
done
echo "$label: $count seeds in $out"

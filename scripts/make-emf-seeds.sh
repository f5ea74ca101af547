#!/usr/bin/env bash
# Makes the seeds of the EMF fuzz target: the enhanced metafiles of the shared test images, each as
# it is, since the player takes a whole file.
# Usage: scripts/make-emf-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
if [ -d "$corpus/emf" ]; then
    while IFS= read -r -d '' file; do
        name=$(echo "${file#"$corpus/emf/"}" | tr '/' '_')
        cp "$file" "$out/$name"
        count=$((count + 1))
    done < <(find "$corpus/emf" -type f -iname '*.emf' -print0)
fi
echo "make-emf-seeds: $count seeds in $out"

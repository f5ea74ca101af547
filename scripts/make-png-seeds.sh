#!/usr/bin/env bash
# Makes the seeds of the PNG fuzz target: the PngSuite images (corrupt ones included) and the
# further PNG files of the shared test images, small ones only, plus a few derived by cutting
# valid files short so the fuzzer starts from the early-end paths too.
# Usage: scripts/make-png-seeds.sh <output folder>
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
for name in basn2c08 basi6a08 basn3p04 basi0g02; do
    file="$corpus/pngsuite/$name.png"
    [ -f "$file" ] || continue
    size=$(stat -c %s "$file")
    head -c $((size / 2)) "$file" >"$out/cut_$name.png"
    count=$((count + 1))
done
echo "make-png-seeds: $count seeds in $out"

#!/usr/bin/env bash
# Makes the seeds of the text fuzz target: the names of the shared test images, which are the
# strings the file list writes, each behind a few different choices of font, surface and options.
# Usage: scripts/make-text-seeds.sh <output folder>
set -euo pipefail
out=${1:?usage: $0 <output folder>}
corpus="$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus"
mkdir -p "$out"
count=0
# Height, pitch and width, alignment, options, style, face, depth, colour.
prefixes=('\xf4\x00\x00\x00\x00\x00\x05\x00' '\x0a\x00\x18\x0d\x07\x01\x02\x40' '\xe8\x80\x06\x19\xb4\x04\x00\x10')
while IFS= read -r -d '' file; do
    name=$(basename "$file")
    printf "${prefixes[count % 3]}" >"$out/$count.text"
    printf '%s' "$name" >>"$out/$count.text"
    count=$((count + 1))
    [ $count -lt 300 ] || break
done < <(find "$corpus" -type f -print0 | sort -z)
# Names that are not valid UTF-8, as a foreign file system may hold them.
printf '\xf4\x00\x00\x00\x00\x00\x05\x00a\xe3\x81\xff\xc0\xafb\xed\xa0\x80' >"$out/invalid.text"
echo "make-text-seeds: $((count + 1)) seeds in $out"

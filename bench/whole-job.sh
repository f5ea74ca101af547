#!/usr/bin/env bash
# whole-job.sh [--growth-only|--peers-only] CORPUSDIR - the whole job users run, "a thumbnail of
# every picture in the folder", timed against its peers and for growth.
#
#  1. Builds vistel-thumbs (Release, no sanitizers) in build/bench, then runs
#     ../shared/bench/peers.sh CORPUSDIR with our row added: the files of each subset are linked
#     into a folder of their own and `vistel-thumbs FOLDER --keep-going --sheet OUT/sheet.bmp`
#     runs on it (the linking is timed with us). Prints the peers' Markdown table.
#  2. Growth: folders of 1,000 and 10,000 small pictures (copies of a few small JPEG, PNG and
#     BMP files made by ImageMagick), each run GROWTH_RUNS times; prints the median wall time,
#     CPU time and peak memory of each, and the ratio of 10,000 to 1,000.
#
#   env: RUNS (peers.sh's timed rounds, 3 unless set), GROWTH_RUNS (3), BUILD (build/bench),
#        VISTEL_THUMBS (a ready program: skips the build)
# Needs what peers.sh's header lists; CORPUSDIR is made by ../shared/bench/make-corpus.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [[ ${1:-} == --project ]]; then  # internal: peers.sh's PROJECT_CMD, run as  --project OUTDIR FILE...
  tool=$2 out=$3; shift 3
  folder=$out/in
  mkdir -p "$folder"
  # Hard links where the files' file system allows it, else symbolic links.
  ln -- "$@" "$folder"/ 2>/dev/null || ln -sf -- "$@" "$folder"/
  status=0
  "$tool" "$folder" --keep-going --sheet "$out/sheet.bmp" >"$out/lines" || status=$?
  awk -F '\t' 'NF == 2 && $2 ~ /^[0-9]+$/' "$out/lines" | wc -l >"$out/count"
  rm -rf "$folder"
  exit "$status"
fi

mode=all
case ${1:-} in --growth-only | --peers-only) mode=${1#--}; shift ;; esac
corpus=${1:?usage: whole-job.sh [--growth-only|--peers-only] CORPUSDIR}
corpus=$(cd "$corpus" && pwd)

if [[ -z ${VISTEL_THUMBS:-} ]]; then
  build=${BUILD:-$root/build/bench}
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTEL_TESTS=OFF >/dev/null
  cmake --build "$build" --target vistel-thumbs >/dev/null
  VISTEL_THUMBS=$build/cli/vistel-thumbs
fi

if [[ $mode != growth-only ]]; then
  RUNS=${RUNS:-3} PROJECT_CMD="$root/bench/whole-job.sh --project $VISTEL_THUMBS" \
    "$root/../shared/bench/peers.sh" "$corpus"
  echo
fi
[[ $mode == peers-only ]] && exit 0

# --- growth
IM=${IM_CONVERT:-/usr/bin/convert}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vistel-growth.XXXXXX"); trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/seed"
# A few small pictures of every kind the job meets; 64 × 64 and smaller ones are drawn centred,
# larger ones stretched.
"$IM" -seed 1 -size 320x240 plasma:fractal -quality 85 "$tmp/seed/a.jpg"
"$IM" -seed 2 -size 200x150 plasma:fractal -interlace JPEG -quality 80 "$tmp/seed/b.jpg"
"$IM" -seed 3 -size 160x120 plasma:fractal -strip PNG24:"$tmp/seed/c.png"
"$IM" -seed 4 -size 48x48 plasma:fractal -strip -colors 64 PNG8:"$tmp/seed/d.png"
"$IM" -seed 5 -size 96x96 plasma:fractal -type TrueColor BMP3:"$tmp/seed/e.bmp"
"$IM" -seed 6 -size 32x32 plasma:fractal -colors 16 -type Palette BMP3:"$tmp/seed/f.bmp"
seeds=("$tmp"/seed/*)
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2)}'; }
for n in 1000 10000; do
  mkdir "$tmp/$n"
  for ((i = 0; i < n; ++i)); do
    s=${seeds[i % ${#seeds[@]}]}
    cp "$s" "$tmp/$n/$(printf 'g%05d' "$i").${s##*.}"
  done
done
for n in 1000 10000; do
  for ((r = 0; r <= ${GROWTH_RUNS:-3}; ++r)); do  # run 0 warms the page cache
    /usr/bin/time -o "$tmp/time" -f '%e %U %S %M' "$VISTEL_THUMBS" "$tmp/$n" --keep-going --sheet "$tmp/sheet.bmp" \
      >"$tmp/lines"
    made=$(awk -F '\t' 'NF == 2 && $2 ~ /^[0-9]+$/' "$tmp/lines" | wc -l)
    [[ $made == "$n" ]] || { echo "growth: $made of $n thumbnails made" >&2; exit 1; }
    ((r > 0)) && awk '{print $1, $2 + $3, $4}' "$tmp/time" >>"$tmp/g$n"
  done
done
echo "### Growth (vistel-thumbs FOLDER --keep-going --sheet OUT.bmp, small pictures, medians of ${GROWTH_RUNS:-3})"
echo
echo "| pictures | wall ms | CPU ms | peak RSS MiB |"
echo "|---:|---:|---:|---:|"
for n in 1000 10000; do
  printf '| %s | %.0f | %.0f | %.1f |\n' "$n" "$(awk '{print $1 * 1000}' "$tmp/g$n" | median)" \
    "$(awk '{print $2 * 1000}' "$tmp/g$n" | median)" "$(awk '{print $3 / 1024}' "$tmp/g$n" | median)"
done
wall() { awk '{print $1}' "$tmp/g$1" | median; }
cpu() { awk '{print $2}' "$tmp/g$1" | median; }
rss() { awk '{print $3}' "$tmp/g$1" | median; }
echo
awk -v w1="$(wall 1000)" -v w2="$(wall 10000)" -v c1="$(cpu 1000)" -v c2="$(cpu 10000)" \
    -v m1="$(rss 1000)" -v m2="$(rss 10000)" \
  'BEGIN {printf "10,000 / 1,000: wall %.2f, CPU %.2f, peak memory %.2f (goal: at most 11)\n", w2 / w1, c2 / c1, m2 / m1}'

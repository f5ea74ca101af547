#!/usr/bin/env bash
# metafile-bench.sh [--peers-only | --reuse-peers] [VISTEL_RENDER] - how long turning each metafile
# of the shared corpus into a 256 × 256 PNG takes with vistel-render and with the programs a user
# would pick instead, as a user sees it: the wall time of the whole command, process start included.
#
# For every *.emf / *.wmf under CORPUS/emf and CORPUS/wmf, in one run:
#   vistel-render FILE OUT.png --size 256x256
#   LibreOffice   soffice --headless --convert-to 'png:draw_png_Export:{PixelWidth 256, PixelHeight 256}'
#                 (its own profile in OUT/lo-profile, made before the timing)
#   Inkscape      inkscape FILE --export-type=png --export-filename=OUT.png -w 256 -h 256
#   emf2svg       emf2svg-conv -i FILE -o OUT.svg, then rsvg-convert -w 256 -h 256 (EMF only; the
#                 two commands timed together)
# Each program first runs once uncounted (it warms the caches and tells whether the program reads the
# file: a program that exits with an error or writes no PNG has refused the file, which is recorded
# and skipped for it), then RUNS rounds run each program once in turn; the figure per file and
# program is the median. The report is a Markdown table per file with the ratio of the fastest peer
# to vistel-render, each program's refusals, and the geometric means of the ratios over the files
# both drew. Goal: vistel-render at least 10 × faster than the fastest peer.
#
#   --peers-only     time the peers only (kept in OUT/peers.tsv for --reuse-peers)
#   --reuse-peers    time vistel-render only and take the peers' figures from OUT/peers.tsv of an
#                    earlier run on this machine (the peers do not change when vistel-render does)
#   VISTEL_RENDER    the program to time; else $VISTEL_RENDER; else vistel-render is built in
#                    Release without tests in BUILD (build/bench), as users get it
#   env: RUNS (5), SIZE (256), CORPUS (../shared/corpus), OUT (build/metafile-bench),
#        BUILD (build/bench), PEERS (libreoffice,inkscape,emf2svg), BENCH_LOCK (the command that
#        keeps builds off the cores while one file is timed: /work/buildlock unless this script
#        already runs under it; empty for none)
#
# Installs with apt-get (root) whichever of the peers is missing: libreoffice-draw-nogui (soffice),
# inkscape, emf2svg (emf2svg-conv), librsvg2-bin (rsvg-convert); all with --no-install-recommends.
# Needs python3 (standard library only). Takes ~15 minutes with the peers at RUNS=5, seconds with
# --reuse-peers.
set -euo pipefail
# The whole script is one function, read before it runs: editing the file meanwhile is safe.
main() {
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/metafile-common.sh"

mode=all
case ${1:-} in
  --peers-only | --reuse-peers) mode=${1#--}; shift ;;
  -h | --help) sed -n '2,/^set -e/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
esac
corpus=$(realpath -- "${CORPUS:-$root/../shared/corpus}")
out=$(realpath -m -- "${OUT:-$root/build/metafile-bench}")
runs=${RUNS:-5}
size=${SIZE:-256}
peers=${PEERS:-libreoffice,inkscape,emf2svg}
lock=$(lock_prefix)
[[ $mode == reuse-peers ]] && peers=

mapfile -t files < <(metafile_list "$corpus")
((${#files[@]} > 0)) || { echo "no metafiles under $corpus/emf or $corpus/wmf" >&2; exit 1; }
mkdir -p "$out"

# --- the peers, installed when missing
if [[ -n $peers ]]; then
  need=()
  [[ ,$peers, == *,libreoffice,* ]] && ! command -v soffice >/dev/null && need+=(libreoffice-draw-nogui)
  [[ ,$peers, == *,inkscape,* ]] && ! command -v inkscape >/dev/null && need+=(inkscape)
  [[ ,$peers, == *,emf2svg,* ]] && ! command -v emf2svg-conv >/dev/null && need+=(emf2svg)
  [[ ,$peers, == *,emf2svg,* ]] && ! command -v rsvg-convert >/dev/null && need+=(librsvg2-bin)
  if ((${#need[@]})); then
    echo "installing ${need[*]}" >&2
    apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >&2
  fi
  if [[ ,$peers, == *,libreoffice,* ]]; then
    # The first start of a fresh profile takes seconds; no user pays that on every conversion.
    $lock soffice "-env:UserInstallation=file://$out/lo-profile" --headless --terminate_after_init \
      >/dev/null 2>&1 || true
  fi
fi

# --- ours, built as users get it
vistel=()
if [[ $mode != peers-only ]]; then
  if [[ -n ${1:-} || -n ${VISTEL_RENDER:-} ]]; then
    vistel=(--vistel "$(find_vistel_render "$root" "${1:-}")")
  else
    build=$(realpath -m -- "${BUILD:-$root/build/bench}")
    $lock cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTEL_TESTS=OFF >/dev/null
    $lock cmake --build "$build" --target vistel-render >/dev/null
    vistel=(--vistel "$build/cli/vistel-render")
  fi
fi
[[ -n $peers || ${#vistel[@]} -gt 0 ]] || { echo "nothing to time" >&2; exit 2; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/metafile-bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# --- the timing, one file at a time under the lock; OUT/times.part.tsv keeps what an interrupted
# run had measured
rm -f "$out/times.part.tsv"
n=0
for rel in "${files[@]}"; do
  n=$((n + 1))
  [[ -t 2 ]] && printf '\r%d/%d %s\033[K' "$n" "${#files[@]}" "$rel" >&2
  $lock python3 "$root/bench/metafile-timing.py" time --file "$corpus/$rel" --name "$rel" --size "$size" \
    --runs "$runs" --work "$tmp/work" --peers "$peers" --lo-profile "$out/lo-profile" "${vistel[@]}" \
    >>"$out/times.part.tsv" || echo "metafile-bench: timing $rel failed; it is left out" >&2
done
mv "$out/times.part.tsv" "$tmp/times.tsv"
[[ -t 2 ]] && printf '\r\033[K' >&2

if [[ $mode == reuse-peers ]]; then
  [[ -f $out/peers.tsv ]] || { echo "no $out/peers.tsv: run --peers-only (or without options) first" >&2; exit 1; }
  for rel in "${files[@]}"; do
    grep -q -F -- "$rel"$'\t' "$out/peers.tsv" || { echo "$out/peers.tsv lacks $rel: time the peers again" >&2; exit 1; }
  done
  echo "(peers' figures from $out/peers.tsv, $(date -r "$out/peers.tsv" -u '+%Y-%m-%d %H:%M UTC'))"
  echo
  cat "$out/peers.tsv" >>"$tmp/times.tsv"
  # vistel-render's lines first per file in the report, as in a run that timed all of them
  python3 - "$tmp/times.tsv" >"$tmp/sorted.tsv" <<'EOF'
import sys
lines = open(sys.argv[1]).read().splitlines()
names = list(dict.fromkeys(l.split('\t')[0] for l in lines))
print('\n'.join(l for n in names for l in lines if l.split('\t')[0] == n))
EOF
  mv "$tmp/sorted.tsv" "$tmp/times.tsv"
elif [[ -n $peers ]]; then
  awk -F '\t' '$2 != "vistel"' "$tmp/times.tsv" >"$out/peers.tsv"
fi
cp "$tmp/times.tsv" "$out/times.tsv"
python3 "$root/bench/metafile-timing.py" report "$out/times.tsv" --size "$size"
}

main "$@"

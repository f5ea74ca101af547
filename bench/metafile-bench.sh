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
#   --reuse-peers    take the peers' figures from OUT/peers.tsv of an earlier run on this machine
#                    (the peers do not change when vistel-render does), time them only on the files
#                    it lacks (an interrupted run leaves the files it finished), and vistel-render
#                    on every file
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

# --- the timing, one file at a time under the lock. The peers' lines go to OUT/peers.tsv as each
# file is done, so that --reuse-peers can finish an interrupted run; OUT/times.part.tsv keeps what
# this run has measured.
[[ $mode == reuse-peers ]] || rm -f "$out/peers.tsv"
touch "$out/peers.tsv"
rm -f "$out/times.part.tsv"; touch "$out/times.part.tsv"
reused=0 n=0
for rel in "${files[@]}"; do
  n=$((n + 1))
  [[ -t 2 ]] && printf '\r%d/%d %s\033[K' "$n" "${#files[@]}" "$rel" >&2
  file_peers=$peers
  if [[ $mode == reuse-peers ]] && grep -q -F -- "$rel"$'\t' "$out/peers.tsv"; then
    file_peers= reused=$((reused + 1))
    [[ ${#vistel[@]} -gt 0 ]] || continue
  fi
  if ! $lock python3 "$root/bench/metafile-timing.py" time --file "$corpus/$rel" --name "$rel" --size "$size" \
      --runs "$runs" --work "$tmp/work" --peers "$file_peers" --lo-profile "$out/lo-profile" "${vistel[@]}" \
      >"$tmp/one.tsv"; then
    echo "metafile-bench: timing $rel failed; it is left out" >&2
    continue
  fi
  cat "$tmp/one.tsv" >>"$out/times.part.tsv"
  [[ -z $file_peers ]] || awk -F '\t' '$2 != "vistel"' "$tmp/one.tsv" >>"$out/peers.tsv"
done
[[ -t 2 ]] && printf '\r\033[K' >&2

# This run's vistel-render lines and every peer's line, each file's together in corpus order.
{ awk -F '\t' '$2 == "vistel"' "$out/times.part.tsv"; cat "$out/peers.tsv"; } >"$tmp/all.tsv"
rm -f "$out/times.part.tsv"
printf '%s\n' "${files[@]}" | python3 -c '
import sys
order = {n.rstrip("\n"): i for i, n in enumerate(sys.stdin)}
lines = [l for l in open(sys.argv[1]).read().splitlines() if l.split("\t")[0] in order]
tools = ["vistel", "libreoffice", "inkscape", "emf2svg"]
lines.sort(key=lambda l: (order[l.split("\t")[0]], tools.index(l.split("\t")[1])))
print("\n".join(lines))' "$tmp/all.tsv" >"$tmp/times.tsv"
if ((reused)); then
  echo "($reused files' peer figures from an earlier run, in $out/peers.tsv)"
  echo
fi
cp "$tmp/times.tsv" "$out/times.tsv"
python3 "$root/bench/metafile-timing.py" report "$out/times.tsv" --size "$size"
}

main "$@"; exit $?

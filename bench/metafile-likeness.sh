#!/usr/bin/env bash
# metafile-likeness.sh [--refs-only] [VISTEL_RENDER] - how closely vistel-render draws every
# metafile of the shared corpus, compared with the platform's own playback run by Wine.
#
# For every *.emf / *.wmf under CORPUS/emf and CORPUS/wmf:
#  - the reference: ../shared/gdi-reference/gdiref.sh emf|wmf FILE OUT.bmp 128 128 (PlayEnhMetaFile
#    on a white bitmap; a WMF through SetWinMetaFileBits first). It is cached in OUT/ref/ with the
#    file's SHA-256, so a rerun only plays files that are new or changed, or whose playing failed
#    in a way that may pass (remove OUT/ref to play every file again);
#  - ours: VISTEL_RENDER FILE OUT.bmp --size 128x128 (white background), always rerun;
#  - the score: of the pixels that are not pure white (FFFFFF) in either picture, the share whose
#    red, green and blue all lie within 48 of the reference's. Two pictures that are both all white
#    score 100 %.
# Prints a Markdown table per file (score, whether each side drew or refused and why), the
# distribution of the scores, the share of files scoring at least 90 %, and the goal: at least
# 90 % on at least 95 % of the files the reference draws, and a clean refusal (exit 1 with a
# message, no crash or time-out) of every file the reference cannot read. OUT/scores.tsv holds the
# same per file; OUT/sheet.png shows each file's reference, ours and where they differ (red: off by
# more than the tolerance; pale red: no picture); the pictures stay in OUT/ref and OUT/vistel.
#
#   --refs-only      only make the reference renderings (no vistel-render needed)
#   VISTEL_RENDER    the program; else $VISTEL_RENDER, else the first of build/{bench,release,
#                    relwithdebinfo,debug,asan}/cli/vistel-render (any build works: pixels only)
#   env: CORPUS (../shared/corpus), OUT (build/metafile-likeness), SIZE (128), TOLERANCE (48),
#        GOOD (90: the score that counts as good), GDIREF (../shared/gdi-reference/gdiref.sh),
#        GDI_REFERENCE_HOME (gdiref's own, ~/.cache/gdi-reference), TIMEOUT (30 s per render),
#        BENCH_LOCK (the command that serialises renders with builds: /work/buildlock unless this
#        script already runs under it; empty for none)
#
# Needs: python3 (standard library only), and Wine with the gdi-reference helpers: when
# $GDI_REFERENCE_HOME/prefix is missing, ../shared/gdi-reference/setup.sh is run once (it installs
# wine, wine64, fonts-wine, fonts-liberation and gcc-mingw-w64-x86-64 with apt-get; root).
# Takes ~1 minute with the references made, ~2 minutes without. Exit status 0 when every file
# was scored (whatever the scores), 1 when something could not run.
set -euo pipefail
# The whole script is one function, read before it runs: editing the file meanwhile is safe.
main() {
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$root/bench/metafile-common.sh"

refs_only=0
if [[ ${1:-} == --refs-only ]]; then refs_only=1; shift; fi
[[ ${1:-} == -h || ${1:-} == --help ]] && { sed -n '2,/^set -e/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; exit 0; }

corpus=$(realpath -- "${CORPUS:-$root/../shared/corpus}")
out=$(realpath -m -- "${OUT:-$root/build/metafile-likeness}")
size=${SIZE:-128}
tolerance=${TOLERANCE:-48}
good=${GOOD:-90}
timeout=${TIMEOUT:-30}
gdiref=$(realpath -- "${GDIREF:-$root/../shared/gdi-reference/gdiref.sh}")
gdihome=$(realpath -m -- "${GDI_REFERENCE_HOME:-${XDG_CACHE_HOME:-$HOME/.cache}/gdi-reference}")
lock=$(lock_prefix)

if ((refs_only == 0)); then
  render=$(find_vistel_render "$root" "${1:-}")
fi
mapfile -t files < <(metafile_list "$corpus")
((${#files[@]} > 0)) || { echo "no metafiles under $corpus/emf or $corpus/wmf" >&2; exit 1; }

if [[ ! -d $gdihome/prefix ]]; then
  echo "setting up the Wine reference in $gdihome (once)" >&2
  GDI_REFERENCE_HOME=$gdihome "$(dirname "$gdiref")/setup.sh" >&2
fi

# Writes DIR/NAME.txt: exit=, then the tool's standard output and error as out:/err: lines.
record() {  # record STATUSFILE EXIT STDOUT STDERR [key=value...]
  local file=$1 code=$2 so=$3 se=$4; shift 4
  {
    printf '%s\n' "$@"
    printf 'exit=%s\n' "$code"
    sed 's/^/out:/' "$so"
    sed 's/^/err:/' "$se"
  } >"$file"
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/metafile-likeness.XXXXXX")
trap 'rm -rf "$tmp"' EXIT

# --- the references (cached)
made=0
for rel in "${files[@]}"; do
  src=$corpus/$rel
  bmp=$out/ref/$rel.bmp
  txt=$out/ref/$rel.txt
  key="key=$(sha256sum -- "$src" | cut -c1-64) ${size}x$size"
  # A result is kept unless it may have been a passing trouble: other exits than 0, 1 and Wine's
  # own crash report (which is not passing) are played again.
  if [[ -f $txt ]] && grep -qxF -- "$key" "$txt" && grep -qE '^exit=[01]$|^err:wine: Unhandled' "$txt"; then
    continue
  fi
  mkdir -p "$(dirname "$bmp")"
  rm -f -- "$bmp"
  case ${rel,,} in *.wmf) kind=wmf ;; *) kind=emf ;; esac
  code=0
  GDI_REFERENCE_HOME=$gdihome $lock timeout "$timeout" "$gdiref" "$kind" "$src" "$bmp" "$size" "$size" \
    >"$tmp/so" 2>"$tmp/se" || code=$?
  record "$txt" "$code" "$tmp/so" "$tmp/se" "$key" "kind=$kind"
  made=$((made + 1))
done
echo "references: ${#files[@]} files, $made played now, the rest cached in $out/ref" >&2

# --- ours
if ((refs_only == 0)); then
  for rel in "${files[@]}"; do
    bmp=$out/vistel/$rel.bmp
    mkdir -p "$(dirname "$bmp")"
    rm -f -- "$bmp"
    code=0
    $lock timeout "$timeout" "$render" "$corpus/$rel" "$bmp" --size "${size}x$size" \
      >"$tmp/so" 2>"$tmp/se" || code=$?
    record "$out/vistel/$rel.txt" "$code" "$tmp/so" "$tmp/se" "program=$render"
  done
fi

# --- the scores
args=(--out "$out" --size "$size" --tolerance "$tolerance" --good "$good")
((refs_only)) && args+=(--refs-only)
printf '%s\n' "${files[@]}" | python3 "$root/bench/metafile-score.py" "${args[@]}"
}

main "$@"; exit $?

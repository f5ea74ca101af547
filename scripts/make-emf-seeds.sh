#!/usr/bin/env bash
# Makes the seeds of the EMF fuzz target: the enhanced metafiles of the shared test images, each as
# it is, since the player takes a whole file.
# Usage: scripts/make-emf-seeds.sh <output folder>
set -euo pipefail
SEEDS_LABEL=make-emf-seeds exec "$(dirname "$0")/make-metafile-seeds.sh" "${1:?usage: $0 <output folder>}" emf

#!/usr/bin/env bash
# Makes the seeds of the Windows-metafile fuzz target: every Windows metafile of the shared test
# images, as it is.
# Usage: scripts/make-wmf-seeds.sh <output folder>
set -euo pipefail
SEEDS_LABEL=make-wmf-seeds exec "$(dirname "$0")/make-metafile-seeds.sh" "${1:?usage: $0 <output folder>}" wmf

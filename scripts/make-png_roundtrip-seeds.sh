#!/usr/bin/env bash
# The PNG round-trip fuzz target starts from the same files as the PNG loading target: the cut
# ones simply fail their first load, which is one of the outcomes the round trip must survive.
# Usage: scripts/make-png_roundtrip-seeds.sh <output folder>
set -euo pipefail
exec "$(dirname "$0")/make-png-seeds.sh" "$@"

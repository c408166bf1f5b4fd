#!/usr/bin/env bash
# Soak run, not part of CI: FRAMES frames (10000 by default) with changing sizes and settings
# through Drawlet.auf, then through the frei0r plug-in, each printing its resident memory
# every 500 frames. Memory that keeps growing after the first few hundred frames is a leak.
# Usage: bench/soak.sh [FRAMES] [BUILD_DIR]      (build first: bash scripts/build.sh)
set -euo pipefail
frames=${1:-10000}
build=$(cd "${2:-$(dirname "$0")/../build/release}" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for mode in module frei0r; do
  echo "== $mode: $frames frames =="
  start=$(date +%s)
  "$build/bench/drawlet_soak" "$mode" "$frames" 500 2>"$log"
  echo "$(($(date +%s) - start)) s; $(grep -c '^drawlet frei0r: ' "$log" || true) messages" \
       "about pattern sets that could not be loaded on standard error"
done

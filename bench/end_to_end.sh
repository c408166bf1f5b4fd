#!/usr/bin/env bash
# drawlet render of a 10-second 1080p clip with sound (a pan over a real photograph) against
# the filter alone on the same frames, decoded into memory first. The two alternate, twice,
# with the same thread settings; prints each run, both best rates and their ratio.
#   bench/end_to_end.sh [BUILD_DIR] [drawlet render options...]
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
shift || true
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pan_clip "$work/clip.mp4"
best_alone=0
best_e2e=0
for round in 1 2; do
  a=$(filter_alone "$build" "$work/clip.mp4")
  e=$(render_fps "$build" "$work/clip.mp4" "$work/out.mp4" "$@")
  echo "round $round: filter alone $a fps, end to end $e fps"
  best_alone=$(awk -v x="$a" -v y="$best_alone" 'BEGIN { print (x > y) ? x : y }')
  best_e2e=$(awk -v x="$e" -v y="$best_e2e" 'BEGIN { print (x > y) ? x : y }')
done
size=$(stat -c %s "$work/out.mp4")
echo "filter alone:                          $best_alone fps"
echo "end to end (decode + filter + encode): $best_e2e fps"
awk -v a="$best_e2e" -v b="$best_alone" -v s="$size" 'BEGIN {
  printf "ratio: %.0f%% of the filter-alone rate; output %.1f Mb/s\n", 100 * a / b, s * 8 / 10 / 1e6 }'

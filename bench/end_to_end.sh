#!/usr/bin/env bash
# drawlet render of a 10-second 1080p clip with sound, against the filter alone on the same
# frames (decoded into memory first), in the same run. Prints both frame rates and the ratio.
# Usage: bench/end_to_end.sh [BUILD_DIR]
set -euo pipefail
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -f lavfi -i sine=frequency=440 \
  -t 10 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$work/clip.mp4"
frames=250

start=$(date +%s.%N)
"$build/drawlet" render "$work/clip.mp4" -o "$work/out.mp4" -q
end=$(date +%s.%N)
e2e=$(awk -v f=$frames -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", f / (b - a) }')

alone=$("$build/bench/filter_only_bench" "$work/clip.mp4" --benchmark_format=json |
        awk -F: '/"fps"/ { gsub(/[ ,]/, "", $2); printf "%.2f", $2 }')
echo "end to end (decode + filter + encode): $e2e fps"
echo "filter alone:                          $alone fps"
awk -v a="$e2e" -v b="$alone" 'BEGIN { printf "ratio: %.0f%% of the filter-alone rate\n", 100 * a / b }'

#!/usr/bin/env bash
# Bitrate and end-to-end speed of drawlet render's default H.264 output for x264 presets and
# CRF values, on the 10-second 1080p pan over a real photograph, beside the filter alone on
# the same frames (measured before and after the table). Prints a Markdown table.
#   bench/bitrate_table.sh [BUILD_DIR] ["PRESETS"] ["CRFS"]
set -euo pipefail
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
presets=${2:-"ultrafast superfast veryfast faster medium"}
crfs=${3:-"20 23 26"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$(dirname "$0")/pan_clip.sh" "$work/clip.mp4"
frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
  -of csv=p=0 "$work/clip.mp4")
alone() {
  "$build/bench/filter_only_bench" "$work/clip.mp4" --benchmark_format=json |
    awk -F: '/"fps"/ { gsub(/[ ,]/, "", $2); printf "%.2f", $2 }'
}
before=$(alone)
rows=()
for preset in $presets; do
  for crf in $crfs; do
    start=$(date +%s.%N)
    "$build/drawlet" render "$work/clip.mp4" -o "$work/out.mp4" -q -y --preset "$preset" --crf "$crf"
    end=$(date +%s.%N)
    size=$(stat -c %s "$work/out.mp4")
    rows+=("$(awk -v p="$preset" -v c="$crf" -v f="$frames" -v a="$start" -v b="$end" -v s="$size" \
      'BEGIN { printf "%s|%s|%.1f|%.2f", p, c, s * 8 / 10 / 1e6, f / (b - a) }')")
  done
done
after=$(alone)
ref=$(awk -v a="$before" -v b="$after" 'BEGIN { printf "%.2f", (a + b) / 2 }')
echo "filter alone: $before fps before the table, $after fps after"
echo
echo "| preset | CRF | Mb/s | end to end, frames/s | of the filter alone |"
echo "|---|---|---|---|---|"
for row in "${rows[@]}"; do
  IFS='|' read -r p c mb fps <<<"$row"
  awk -v p="$p" -v c="$c" -v mb="$mb" -v fps="$fps" -v r="$ref" \
    'BEGIN { printf "| %s | %s | %s | %s | %.0f%% |\n", p, c, mb, fps, 100 * fps / r }'
done

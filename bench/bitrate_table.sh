#!/usr/bin/env bash
# Bitrate and end-to-end speed of drawlet render's H.264 output for x264 presets and CRF
# values, on the 10-second 1080p pan over a real photograph, beside the filter alone on the
# same frames (measured before and after the table), and the luma PSNR of each output against
# a lossless render (hatching is fine, high-contrast detail: a few dB say more than bitrates).
# Prints a Markdown table.
#   bench/bitrate_table.sh [BUILD_DIR] ["PRESETS"] ["CRFS"]
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
presets=${2:-"ultrafast superfast veryfast"}
crfs=${3:-"20 23 26 28 30"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pan_clip "$work/clip.mp4"
"$build/drawlet" render "$work/clip.mp4" -o "$work/lossless.mp4" -q -y --pix-fmt yuv444p --crf 0 \
  --preset ultrafast
before=$(filter_alone "$build" "$work/clip.mp4")
rows=()
for preset in $presets; do
  for crf in $crfs; do
    fps=$(render_fps "$build" "$work/clip.mp4" "$work/out.mp4" --preset "$preset" --crf "$crf")
    psnr=$(ffmpeg -nostats -i "$work/out.mp4" -i "$work/lossless.mp4" \
      -lavfi '[1]format=yuv420p[r];[0][r]psnr' -f null - 2>&1 | sed -n 's/.* y:\([0-9.]*\) .*/\1/p')
    rows+=("$preset $crf $(stat -c %s "$work/out.mp4") $fps $psnr")
  done
done
after=$(filter_alone "$build" "$work/clip.mp4")
echo "filter alone: $before fps before the table, $after fps after"
echo
echo "| preset | CRF | Mb/s | PSNR-Y, dB | end to end, frames/s | of the filter alone |"
echo "|---|---|---|---|---|---|"
for row in "${rows[@]}"; do
  read -r p c size fps psnr <<<"$row"
  awk -v p="$p" -v c="$c" -v s="$size" -v fps="$fps" -v q="$psnr" -v a="$before" -v b="$after" \
    'BEGIN { printf "| %s | %s | %.1f | %.1f | %.1f | %.0f%% |\n", p, c, s * 8 / 10 / 1e6, q, fps, 200 * fps / (a + b) }'
done

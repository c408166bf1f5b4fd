#!/usr/bin/env bash
# Bitrate and end-to-end speed of drawlet render's H.264 output for x264 presets and CRF
# values, on the 10-second 1080p pan over a real photograph, beside the filter alone on the
# same frames, and the luma PSNR of each output against a lossless render (hatching is fine,
# high-contrast detail: a few dB say more than bitrates). The whole table is rendered in two
# rounds, each after a run of the filter alone, and the best rate of each is kept: a single
# run varies by up to 15% on a shared machine. Prints a Markdown table.
#   bench/bitrate_table.sh [BUILD_DIR] ["PRESETS"] ["CRFS"]
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
presets=${2:-"ultrafast superfast veryfast"}
crfs=${3:-"20 24 28 32 36"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pan_clip "$work/clip.mp4"
"$build/drawlet" render "$work/clip.mp4" -o "$work/lossless.mp4" -q -y --pix-fmt yuv444p --crf 0 \
  --preset ultrafast
declare -A size fps psnr
alone=0
for round in 1 2; do
  a=$(filter_alone "$build" "$work/clip.mp4")
  alone=$(awk -v x="$a" -v y="$alone" 'BEGIN { print (x > y) ? x : y }')
  for preset in $presets; do
    for crf in $crfs; do
      key="$preset $crf"
      f=$(render_fps "$build" "$work/clip.mp4" "$work/out.mp4" --preset "$preset" --crf "$crf")
      fps[$key]=$(awk -v x="$f" -v y="${fps[$key]:-0}" 'BEGIN { print (x > y) ? x : y }')
      [ "$round" = 1 ] || continue
      size[$key]=$(stat -c %s "$work/out.mp4")
      psnr[$key]=$(ffmpeg -nostats -i "$work/out.mp4" -i "$work/lossless.mp4" \
        -lavfi '[1]format=yuv420p[r];[0][r]psnr' -f null - 2>&1 | sed -n 's/.* y:\([0-9.]*\) .*/\1/p')
    done
  done
done
echo "filter alone: $alone fps (the better of two runs)"
echo
echo "| preset | CRF | Mb/s | PSNR-Y, dB | end to end, frames/s | of the filter alone |"
echo "|---|---|---|---|---|---|"
for preset in $presets; do
  for crf in $crfs; do
    key="$preset $crf"
    awk -v p="$preset" -v c="$crf" -v s="${size[$key]}" -v fps="${fps[$key]}" -v q="${psnr[$key]}" \
      -v a="$alone" \
      'BEGIN { printf "| %s | %s | %.1f | %.1f | %.1f | %.0f%% |\n", p, c, s * 8 / 10 / 1e6, q, fps, 100 * fps / a }'
  done
done

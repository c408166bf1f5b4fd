#!/usr/bin/env bash
# What drawlet render's default outputs cost and what they declare, on the 10-second 1080p
# pan over a real photograph: for x264 presets and CRF values (and the .webm default), the
# bitrate, the highest bitrate of any second of the file, the profile and level the stream
# declares, the luma PSNR against a lossless render (hatching is fine, high-contrast detail:
# a few dB say more than bitrates), the end-to-end speed beside the filter alone on the
# same frames, and how fast ffmpeg decodes the file on two threads. The table is rendered in
# two rounds, each after a run of the filter alone, and the best rate of each is kept: a
# single run varies by up to 15% on a shared machine. Prints a Markdown table.
#   bench/bitrate_table.sh [BUILD_DIR] ["PRESETS"] ["CRFS"]
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
presets=${2:-"ultrafast superfast"}
crfs=${3:-"20 24 28 32"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pan_clip "$work/clip.mp4"
frames=$(frame_count "$work/clip.mp4")
"$build/drawlet" render "$work/clip.mp4" -o "$work/lossless.mp4" -q -y --pix-fmt yuv444p --crf 0 \
  --preset ultrafast --encoder-opt profile=high444

# peak_rate FILE: the most megabits the video stream spends in any one second of it.
peak_rate() {
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,size -of csv=p=0 "$1" |
    awk -F, '{ s[int($1)] += $2 } END { for (k in s) if (s[k] > m) m = s[k]; printf "%.1f", m * 8 / 1e6 }'
}

# declared FILE: the profile and level the video stream declares ("High 4.1").
declared() {
  ffprobe -v error -select_streams v:0 -show_entries stream=profile,level -of csv=p=0 "$1" |
    awk -F, '{ printf "%s %s", $1, ($2 > 0 ? $2 / 10 : "-") }'
}

# decode_fps FILE: frames per second ffmpeg decodes it at on two threads.
decode_fps() {
  local start end
  start=$(date +%s.%N)
  ffmpeg -v error -threads 2 -i "$1" -map 0:v -f null -
  end=$(date +%s.%N)
  awk -v f="$frames" -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", f / (b - a) }'
}

declare -A size fps psnr peak level decode
alone=0
rows=()
for preset in $presets; do for crf in $crfs; do rows+=("mp4 $preset $crf"); done; done
rows+=("webm default -")
for round in 1 2; do
  a=$(filter_alone "$build" "$work/clip.mp4")
  alone=$(awk -v x="$a" -v y="$alone" 'BEGIN { print (x > y) ? x : y }')
  for key in "${rows[@]}"; do
    read -r container preset crf <<<"$key"
    options=()
    [ "$preset" = default ] || options+=(--preset "$preset")
    [ "$crf" = - ] || options+=(--crf "$crf")
    out="$work/out.$container"
    f=$(render_fps "$build" "$work/clip.mp4" "$out" "${options[@]}")
    fps[$key]=$(awk -v x="$f" -v y="${fps[$key]:-0}" 'BEGIN { print (x > y) ? x : y }')
    d=$(decode_fps "$out")
    decode[$key]=$(awk -v x="$d" -v y="${decode[$key]:-0}" 'BEGIN { print (x > y) ? x : y }')
    [ "$round" = 1 ] || continue
    size[$key]=$(stat -c %s "$out")
    peak[$key]=$(peak_rate "$out")
    level[$key]=$(declared "$out")
    psnr[$key]=$(ffmpeg -nostats -i "$out" -i "$work/lossless.mp4" \
      -lavfi '[1]format=yuv420p[r];[0]format=yuv420p[o];[o][r]psnr' -f null - 2>&1 |
      sed -n 's/.* y:\([0-9.]*\) .*/\1/p')
  done
done
echo "filter alone: $alone fps (the better of two runs); $frames frames of 1920x1080 at 30 fps"
echo
echo "| output | preset | CRF | Mb/s | peak Mb/s in 1 s | declares | PSNR-Y, dB | end to end, frames/s | of the filter alone | decoded, frames/s |"
echo "|---|---|---|---|---|---|---|---|---|---|"
for key in "${rows[@]}"; do
  read -r container preset crf <<<"$key"
  awk -v o=".$container" -v p="$preset" -v c="$crf" -v s="${size[$key]}" -v pk="${peak[$key]}" \
    -v l="${level[$key]}" -v q="${psnr[$key]}" -v fps="${fps[$key]}" -v a="$alone" \
    -v d="${decode[$key]}" \
    'BEGIN { printf "| %s | %s | %s | %.1f | %s | %s | %.1f | %.1f | %.0f%% | %s |\n", o, p, c,
             s * 8 / 10 / 1e6, pk, l, q, fps, 100 * fps / a, d }'
done

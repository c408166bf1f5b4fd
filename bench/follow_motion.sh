#!/usr/bin/env bash
# What --follow-motion costs and saves on the 10-second 1080p pan of the benchmarks:
#  - drawlet render's frames per second with and without it (update interval 24, where 23
#    frames of 24 are followed), alternating, twice each, best of each;
#  - the default .mp4's video bitrate with and without it at update intervals 1, 8 and 24;
#  - x264's processor time per frame for the same frames at the default settings (ultrafast,
#    CRF 28) on one thread, encoding a lossless render of them again.
#   bench/follow_motion.sh [BUILD_DIR] [THREADS]      (THREADS: 2 by default)
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
threads=${2:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pan_clip "$work/clip.mp4"
frames=$(frame_count "$work/clip.mp4")
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

best() { awk -v x="$1" -v y="$2" 'BEGIN { print (x > y) ? x : y }'; }
plain_fps=0
followed_fps=0
for round in 1 2; do
  p=$(render_fps "$build" "$work/clip.mp4" "$work/out.mp4" --threads "$threads" \
    --set update-interval=24)
  f=$(render_fps "$build" "$work/clip.mp4" "$work/out.mp4" --threads "$threads" \
    --set update-interval=24 --follow-motion)
  echo "round $round: plain $p fps, following $f fps"
  plain_fps=$(best "$p" "$plain_fps")
  followed_fps=$(best "$f" "$followed_fps")
done
awk -v p="$plain_fps" -v f="$followed_fps" -v t="$threads" 'BEGIN {
  printf "render on %d threads, update interval 24: plain %.1f fps, following %.1f fps (%.0f%%)\n",
    t, p, f, 100 * f / p }'

# Mb/s of the video stream of a file.
video_rate() {
  ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of csv=p=0 "$1" |
    awk '{ printf "%.1f", $1 / 1e6 }'
}

# Milliseconds of processor time per frame that x264 takes for the frames of a lossless file,
# at the render's default settings on one thread (the decoding of the input measured apart
# and taken off), the lesser of two runs: on a shared machine one run of the same frames
# varies by a quarter.
x264_ms() {
  local decode encode best=""
  for run in 1 2; do
    decode=$(ffmpeg -nostats -benchmark -i "$1" -pix_fmt yuv420p -f null - 2>&1 | sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p')
    encode=$(ffmpeg -nostats -benchmark -i "$1" -pix_fmt yuv420p -c:v libx264 -preset ultrafast \
      -crf 28 -x264-params cabac=1:8x8dct=1 -threads 1 -f mp4 -y "$work/x264.mp4" 2>&1 |
      sed -n 's/.*utime=\([0-9.]*\)s.*/\1/p')
    best=$(awk -v e="$encode" -v d="$decode" -v n="$frames" -v b="$best" \
      'BEGIN { v = 1000 * (e - d) / n; if (b == "" || v < b) b = v; printf "%.1f", b }')
  done
  echo "$best"
}

echo "| update interval | | default .mp4, Mb/s | x264 on one thread, ms a frame |"
echo "|---|---|---|---|"
for interval in 1 8 24; do
  for follow in "" --follow-motion; do
    "$build/drawlet" render "$work/clip.mp4" -o "$work/default.mp4" -q -y --threads "$threads" \
      --set update-interval=$interval $follow
    "$build/drawlet" render "$work/clip.mp4" -o "$work/lossless.mkv" -q -y --threads "$threads" \
      --set update-interval=$interval $follow --codec ffv1
    echo "| $interval | ${follow:-plain} | $(video_rate "$work/default.mp4") | $(x264_ms "$work/lossless.mkv") |"
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

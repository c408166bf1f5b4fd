#!/usr/bin/env bash
# drawlet.so inside real frei0r hosts: ffmpeg's frei0r filter gives exactly the frames that
# `drawlet render` gives for the same settings and frame numbers, and melt lists and renders
# the filter, with the same frames on one thread and on two.
# Usage: frei0r_hosts_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in ffmpeg melt; do
  command -v $tool >/dev/null || fail "$tool is not installed (apt-get install ffmpeg melt)"
done

# Six frames, 160 x 120 (a multiple of 16: ffmpeg's frei0r filter assumes unpadded rows).
mkdir in ref out
ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 6 -start_number 0 in/%03d.png

# The filter's values for ffmpeg: every parameter in order, sliders as (v - min) / (max - min)
# with the values of the array `set` (slider index to value) or the defaults, then the frames
# in one millisecond at 25 frames per second.
filter_params() {
  local params="" kind index name default min max value
  while IFS=$'\t' read -r kind index name default min max; do
    value=$default
    [ "$kind" = slider ] && value=${set[$index]:-$default}
    if [ "$kind" = slider ]; then
      params+=$(awk -v v="$value" -v lo="$min" -v hi="$max" 'BEGIN { printf "%.17g|", (v - lo) / (hi - lo) }')
    else
      [ "$value" = 1 ] && params+="y|" || params+="n|"  # ffmpeg takes booleans as y / n
    fi
  done < <("$build/drawlet" params --format tsv | cut -f1-6)
  echo "${params}0.025"
}
# Sliders by index: 0 mode, 7 line density, 12 seed, 14 x jitter.
declare -A set=([0]=3 [7]=150 [12]=7 [14]=300)
params=$(filter_params)

for n in 0 1 2 3 4 5; do
  f=$(printf %03d $n)
  "$build/drawlet" render in/$f.png -o ref/$f.png --frame $n --set 0=3 --set 7=150 --set 12=7 \
    --set 14=300 >/dev/null
done
FREI0R_PATH="$build" ffmpeg -v error -framerate 25 -start_number 0 -i in/%03d.png \
  -vf "frei0r=drawlet:$params" -start_number 0 out/%03d.png
raw() { ffmpeg -v error -start_number 0 -i "$1/%03d.png" -f rawvideo -pix_fmt rgb24 - | md5sum; }
[ "$(ls out | wc -l)" = 6 ] || fail "ffmpeg wrote $(ls out | wc -l) frames, not 6"
[ "$(raw ref)" = "$(raw out)" ] || fail "ffmpeg's frames differ from drawlet render's"
[ "$(raw in)" != "$(raw out)" ] || fail "ffmpeg's frames are the unfiltered input"
echo "ffmpeg: 6 frames equal drawlet render's"

# Pattern set 9 (slider 8), which does not exist: the frames pass through unchanged, and the
# module's message is printed once, not once per frame.
declare -A set=([8]=9)
mkdir missing
FREI0R_PATH="$build" ffmpeg -v error -framerate 25 -start_number 0 -i in/%03d.png \
  -vf "frei0r=drawlet:$(filter_params)" -start_number 0 missing/%03d.png 2>missing.log
n=$(grep -c '^drawlet frei0r: cannot render through .*/img9/h0.bmp' missing.log || true)
[ "$n" = 1 ] || fail "ffmpeg with a missing pattern set printed the message $n times, not once"
[ "$(raw in)" = "$(raw missing)" ] || fail "frames of a missing pattern set are not the input"
echo "ffmpeg: a missing pattern set gives the input frames and one message"

export FREI0R_PATH="$build:/usr/lib/frei0r-1"
query=$(timeout 120 melt -query filter=frei0r.drawlet 2>/dev/null)
count=$(grep -c '^  - identifier:' <<<"$query")
[ "$count" = 33 ] || fail "melt lists $count parameters, not 30 and the host's three settings"
for alias in mode line-step pattern seed lines hatching mask frames-per-time-unit \
  frames-in-1001000-seconds integer-values; do
  grep -q "title: $alias\$" <<<"$query" || fail "melt does not list $alias"
done
ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 12 -c:v ffv1 clip.mkv
render() {
  timeout 300 melt -silent clip.mkv -filter frei0r.drawlet mode=0.5 seed=0.0001 \
    -consumer avformat:"$1" vcodec=ffv1 real_time="$2" terminate_on_pause=1 2>/dev/null
}
render one.mkv -1
render two.mkv -2
frames() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt rgb24 - | md5sum; }
[ -s one.mkv ] || fail "melt wrote nothing"
n=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames -of csv=p=0 one.mkv)
[ "$n" = 12 ] || fail "melt wrote $n frames, not 12"
[ "$(frames one.mkv)" = "$(frames two.mkv)" ] || fail "melt's frames differ between one and two threads"
[ "$(frames one.mkv)" != "$(ffmpeg -v error -i clip.mkv -f rawvideo -pix_fmt rgb24 - | md5sum)" ] ||
  fail "melt's frames are the unfiltered input"
echo "melt: 33 parameters listed; 12 frames, the same on one thread and on two"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# drawlet.so inside real frei0r hosts: ffmpeg's frei0r filter and melt give exactly the frames
# that `drawlet render` gives for the same settings and frame numbers (following the motion
# too, in ffmpeg), and melt lists and
# renders the filter, with the same frames on one thread and on two.
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

# Six frames, 64 x 48 (a multiple of 16: ffmpeg's frei0r filter assumes unpadded rows).
mkdir in ref out
ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 6 -start_number 0 in/%03d.png

# The filter's values for ffmpeg: every parameter in order, sliders as (v - min) / (max - min)
# with the values of the array `set` (slider index to value) or the defaults.
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
  echo "${params%|}"
}
# Sliders by index: 0 mode, 7 line density, 11 update interval, 12 seed, 14 x jitter. The
# jitter changes every second frame, so a frame given a wrong number shows.
declare -A set=([0]=3 [7]=150 [11]=2 [12]=7 [14]=300)
params=$(filter_params)
look=(--set 0=3 --set 7=150 --set 11=2 --set 12=7 --set 14=300)

for n in 0 1 2 3 4 5; do
  f=$(printf %03d $n)
  "$build/drawlet" render in/$f.png -o ref/$f.png --frame $n "${look[@]}" >/dev/null
done
"$build/drawlet" render in/001.png -o wrong.png --frame 1000 "${look[@]}" >/dev/null
! cmp -s ref/001.png wrong.png || fail "frames 1 and 1000 look alike: a wrong number would not show"
raw() { ffmpeg -v error -start_number 0 -i "$1/%03d.png" -f rawvideo -pix_fmt rgb24 - | md5sum; }

# ffmpeg as the README tells: the values and nothing else (it passes milliseconds).
FREI0R_PATH="$build" ffmpeg -v error -framerate 25 -start_number 0 -i in/%03d.png \
  -vf "frei0r=drawlet:$params" -start_number 0 out/%03d.png
[ "$(ls out | wc -l)" = 6 ] || fail "ffmpeg wrote $(ls out | wc -l) frames, not 6"
[ "$(raw ref)" = "$(raw out)" ] || fail "ffmpeg's frames differ from drawlet render's"
[ "$(raw in)" != "$(raw out)" ] || fail "ffmpeg's frames are the unfiltered input"
echo "ffmpeg: 6 frames equal drawlet render's, the jitter changing every second frame"

# Following the motion: ffmpeg's frames come in order, so that the plug-in's instance follows
# the same frames as drawlet render --follow-motion (the host settings after the filter's
# values: frames-per-time-unit, the rate clock, integer-values, follow-motion).
# Six frames of a 96 x 64 window panning over smooth random colours, a motion it can find.
mkdir pan ref-plain ref-follow out-follow
ffmpeg -v error -f lavfi -i "nullsrc=s=24x18,geq=lum='random(1)*255':cb='random(2)*255':cr='random(3)*255',scale=480:360:flags=bicubic" \
  -frames:v 1 world.png
ffmpeg -v error -loop 1 -i world.png -vf "crop=96:64:x='40+2*n':y='30+n'" -frames:v 6 \
  -start_number 0 pan/%03d.png
"$build/drawlet" render pan/%03d.png -o ref-plain/%03d.png -q "${look[@]}"
"$build/drawlet" render pan/%03d.png -o ref-follow/%03d.png -q --follow-motion "${look[@]}"
! cmp -s ref-plain/001.png ref-follow/001.png || fail "following the motion changed nothing"
FREI0R_PATH="$build" ffmpeg -v error -framerate 25 -start_number 0 -i pan/%03d.png \
  -vf "frei0r=drawlet:$params|25|0|n|y" -start_number 0 out-follow/%03d.png
[ "$(raw ref-follow)" = "$(raw out-follow)" ] ||
  fail "ffmpeg's frames following the motion differ from drawlet render --follow-motion's"
echo "ffmpeg: the same 6 frames as drawlet render --follow-motion when following the motion"

# melt as the README tells, at 30 fps: the values by name and the rate clock. The clip is
# lossless RGB, so that melt's pictures are the pixels drawlet reads from the PNGs.
ffmpeg -v error -framerate 30 -start_number 0 -i in/%03d.png -c:v ffv1 -pix_fmt bgr0 clip30.mkv
cat >melt.mlt <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C">
  <profile width="64" height="48" frame_rate_num="30" frame_rate_den="1" sample_aspect_num="1"
           sample_aspect_den="1" display_aspect_num="4" display_aspect_den="3" progressive="1"
           colorspace="709"/>
  <producer id="clip" in="0" out="5"><property name="resource">clip30.mkv</property></producer>
  <playlist id="track">
    <entry producer="clip" in="0" out="5">
      <filter id="drawlet">
        <property name="mlt_service">frei0r.drawlet</property>
        <property name="integer-values">1</property>
        <property name="mode">3</property>
        <property name="line-density">150</property>
        <property name="update-interval">2</property>
        <property name="seed">7</property>
        <property name="x-jitter">300</property>
        <property name="frames-in-1001000-seconds">0:1001000.0</property>
      </filter>
    </entry>
  </playlist>
</mlt>
EOF
# On busy machines melt now and then ends at once with no frame and no message: a run that
# writes nothing is tried once more.
for _ in 1 2; do
  rm -rf melt-out && mkdir melt-out
  FREI0R_PATH="$build" timeout 300 melt -silent melt.mlt -consumer avformat:melt-out/%03d.png \
    vcodec=png start_number=0 real_time=0 </dev/null >melt.log 2>&1 || true
  [ -n "$(ls melt-out)" ] && break
done
[ "$(ls melt-out | wc -l)" = 6 ] || fail "melt wrote $(ls melt-out | wc -l) frames, not 6: $(tail -3 melt.log)"
[ "$(raw ref)" = "$(raw melt-out)" ] || fail "melt's frames differ from drawlet render's"
echo "melt: 6 frames at 30 fps equal drawlet render's"

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
[ "$count" = 34 ] || fail "melt lists $count parameters, not 30 and the host's four settings"
for alias in mode line-step pattern seed lines hatching mask frames-per-time-unit \
  frames-in-1001000-seconds integer-values follow-motion; do
  grep -q "title: $alias\$" <<<"$query" || fail "melt does not list $alias"
done
ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 12 -c:v ffv1 clip.mkv
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
echo "melt: 34 parameters listed; 12 frames, the same on one thread and on two"
echo "1 passed, 0 failed"

# Shared by the end-to-end benchmark scripts (sourced, not run).

# bench_photo: prints the path of the benchmarks' photograph ("Picos de Europa" by Aitzol
# Berasategi, CC BY 4.0, 3264x2448), from Debian's lomiri-wallpapers-16.04 package,
# downloaded (not installed) once into build/bench-data/.
bench_photo() {
  local cache photo
  cache=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/bench-data
  photo=$cache/picosdeeuropa.jpg
  if [ ! -s "$photo" ]; then
    mkdir -p "$cache"
    (cd "$cache" && apt-get download -q lomiri-wallpapers-16.04 >/dev/null 2>&1) ||
      { echo "cannot download lomiri-wallpapers-16.04 from Debian's archive" >&2; return 1; }
    dpkg-deb --fsys-tarfile "$cache"/lomiri-wallpapers-16.04_*.deb |
      tar -xO ./usr/share/backgrounds/picosdeeuropa_by_Aitzol_Berasategi.jpg >"$photo"
    rm -f "$cache"/lomiri-wallpapers-16.04_*.deb
  fi
  echo "$photo"
}

# pan_clip OUT.mp4 [SECONDS]: the benchmarks' input, 10 seconds of 1080p at 30 frames/s
# panning across the photograph, with a tone, as H.264 + AAC.
pan_clip() {
  local out=$1 seconds=${2:-10} photo
  photo=$(bench_photo) || return 1
  # Scaled to 1440 lines, a 1920x1080 window moves left to right and a little down.
  ffmpeg -v error -y -loop 1 -framerate 30 -i "$photo" -f lavfi -i sine=frequency=440 \
    -filter_complex "[0]scale=-2:1440,crop=1920:1080:x='(iw-1920)*t/$seconds':y='(ih-1080)*t/$seconds/2',format=yuv420p[v]" \
    -map '[v]' -map 1 -t "$seconds" -c:v libx264 -preset veryfast -crf 18 -c:a aac "$out"
}

# frame_count VIDEO: the frames of its first video stream.
frame_count() {
  ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$1"
}

# filter_alone BUILD_DIR VIDEO: frames per second of the filter alone on the video's frames,
# decoded into memory first.
filter_alone() {
  "$1/bench/filter_only_bench" "$2" --benchmark_format=json |
    awk -F: '/"fps"/ { gsub(/[ ,]/, "", $2); printf "%.2f", $2 }'
}

# render_fps BUILD_DIR VIDEO OUTPUT [drawlet render options]: end-to-end frames per second.
render_fps() {
  local build=$1 video=$2 output=$3 start end frames
  shift 3
  frames=$(frame_count "$video")
  start=$(date +%s.%N)
  "$build/drawlet" render "$video" -o "$output" -q -y "$@"
  end=$(date +%s.%N)
  awk -v f="$frames" -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", f / (b - a) }'
}

#!/usr/bin/env bash
# Makes the benchmarks' input: 10 seconds of 1080p at 30 frames/s panning across a real
# photograph, with a tone, as H.264 + AAC.
#   bench/pan_clip.sh OUT.mp4 [SECONDS]
# The photograph ("Picos de Europa" by Aitzol Berasategi, CC BY 4.0, 3264x2448) comes from
# Debian's lomiri-wallpapers-16.04 package, downloaded (not installed) once into
# build/bench-data/.
set -euo pipefail
out=$1
seconds=${2:-10}
root=$(cd "$(dirname "$0")/.." && pwd)
cache=$root/build/bench-data
photo=$cache/picosdeeuropa.jpg
if [ ! -s "$photo" ]; then
  mkdir -p "$cache"
  (cd "$cache" && apt-get download -q lomiri-wallpapers-16.04 >/dev/null 2>&1) ||
    { echo "cannot download lomiri-wallpapers-16.04 from Debian's archive" >&2; exit 1; }
  dpkg-deb --fsys-tarfile "$cache"/lomiri-wallpapers-16.04_*.deb |
    tar -xO ./usr/share/backgrounds/picosdeeuropa_by_Aitzol_Berasategi.jpg >"$photo"
  rm -f "$cache"/lomiri-wallpapers-16.04_*.deb
fi
# Scaled to 1440 lines, a 1920x1080 window moves left to right and a little down.
ffmpeg -v error -y -loop 1 -framerate 30 -i "$photo" -f lavfi -i sine=frequency=440 \
  -filter_complex "[0]scale=-2:1440,crop=1920:1080:x='(iw-1920)*t/$seconds':y='(ih-1080)*t/$seconds/2',format=yuv420p[v]" \
  -map '[v]' -map 1 -t "$seconds" -c:v libx264 -preset veryfast -crf 18 -c:a aac "$out"

#!/usr/bin/env bash
# Shotcut itself with the filter's description: Debian's Shotcut started on a virtual
# display opens a clip carrying the filter, must report that it added the filter "Drawlet",
# shows the filter's controls, and leaves a picture of them for a person to look at.
# Not part of the test suite: it installs Shotcut and, while it runs, puts the description
# into Shotcut's own folder (the only place Shotcut reads filters from), then restores it.
# Usage (as root or with sudo): tests/shotcut_check.sh BUILD_DIR PICTURE.png
set -euo pipefail
build=$(cd "$1" && pwd)
picture=$(realpath -m "$2")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
source "$source_dir/scripts/apt_missing.sh"
install_missing shotcut xvfb xdotool x11-apps fonts-ipafont-gothic

work=$(mktemp -d)
filters=/usr/share/shotcut/qml/filters/drawlet
restore() {
  $sudo rm -rf "$filters"
  [ -d "$work/saved" ] && $sudo cp -a "$work/saved" "$filters"
  rm -rf "$work"
}
trap restore EXIT
[ -d "$filters" ] && cp -a "$filters" "$work/saved"
$sudo mkdir -p "$filters"
$sudo cp "$source_dir"/hosts/frei0r/shotcut/*.qml "$filters/"

fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$work"
ffmpeg -v error -loop 1 -framerate 30000/1001 -i "$source_dir/docs/images/original.png" -t 3 \
  -vf "scale=720:522,format=yuv420p" -c:v libx264 clip.mp4
cat >clip.mlt <<EOF
<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C" producer="clip">
  <profile width="720" height="522" frame_rate_num="30000" frame_rate_den="1001"
           sample_aspect_num="1" sample_aspect_den="1" display_aspect_num="720"
           display_aspect_den="522" progressive="1" colorspace="709"/>
  <producer id="clip" in="0" out="89">
    <property name="resource">$work/clip.mp4</property>
    <filter id="filter0">
      <property name="mlt_service">frei0r.drawlet</property>
      <property name="shotcut:filter">drawlet</property>
      <property name="integer-values">1</property>
      <property name="frames-in-1001000-seconds">0:1001000.0</property>
      <property name="mode">3</property>
    </filter>
  </producer>
</mlt>
EOF
# On a 1600 x 1000 screen Shotcut's toolbar button "Filters" sits at (795, 52).
cat >session.sh <<'EOF'
#!/bin/bash
shotcut --noupgrade "$1/clip.mlt" >"$1/shotcut.log" 2>&1 &
pid=$!
for _ in $(seq 60); do
  grep -q 'added filter "Drawlet"' "$1/shotcut.log" 2>/dev/null && break
  sleep 1
done
sleep 5
xdotool mousemove 795 52 click 1
sleep 5
xwd -root -silent >"$1/screen.xwd"
kill $pid
EOF
HOME=$work FREI0R_PATH=$build:/usr/lib/frei0r-1 timeout 180 \
  xvfb-run -a -s "-screen 0 1600x1000x24" bash session.sh "$work" || true
grep -q 'added filter "Drawlet"' shotcut.log || fail "Shotcut did not add the filter Drawlet"
! grep -n "filters/drawlet/.*qml:[0-9]" shotcut.log || fail "Shotcut reports errors in the QML"
ffmpeg -v error -y -i screen.xwd -vf "crop=940:330:0:86" "$picture"
echo "Shotcut added the filter Drawlet; its controls are pictured in $picture"

#!/usr/bin/env bash
# Makes the README's pictures with the project's own commands into docs/images/:
#   scripts/make-readme-images.sh [PART...]     PART: demo, looks, studio, motion (default: all)
# demo: the demo's contact sheet, cut into its tiles and scaled down; looks: every look on a
# portrait; studio: the studio's page; motion: a pan drawn plainly and following the motion.
set -euo pipefail
cd "$(dirname "$0")/.."
drawlet=build/release/drawlet
out=docs/images
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(demo looks studio motion)
wanted() { [[ " ${parts[*]} " == *" $1 "* ]]; }

if wanted demo; then
"$drawlet" demo -q -y -o "$tmp/sheet.png" --no-clip
# The sheet is two rows of four 480 x 348 tiles (picture and label).
names=(original mode1 mode2 mode3 mode4 mode5 mask)
for i in "${!names[@]}"; do
  x=$(( (i % 4) * 480 )); y=$(( (i / 4) * 348 ))
  ffmpeg -v error -y -i "$tmp/sheet.png" -vf "crop=480:348:$x:$y,scale=360:-1:flags=area" \
    "$out/${names[$i]}.png"
done
ffmpeg -v error -y -i "$tmp/sheet.png" -vf "scale=960:-1:flags=area" "$out/contact-sheet.png"
ls -l "$out"
fi

# The looks, on a portrait in the public domain (NASA), cut to the face at full size: the
# photograph is scikit-image's sample astronaut.png from Debian's python3-skimage package,
# downloaded (not installed) once into build/readme-data/.
data=build/readme-data
photo=$data/astronaut.png
if [ ! -s "$photo" ]; then
  mkdir -p "$data"
  (cd "$data" && apt-get download -q python3-skimage >/dev/null 2>&1) ||
    { echo "cannot download python3-skimage from Debian's archive" >&2; exit 1; }
  dpkg-deb --fsys-tarfile "$data"/python3-skimage_*.deb |
    tar -xO ./usr/lib/python3/dist-packages/skimage/data/astronaut.png >"$photo"
  rm -f "$data"/python3-skimage_*.deb
fi
if wanted looks; then
mkdir -p "$out/looks"
rm -f "$out"/looks/*.png
for look in $("$drawlet" looks | cut -d' ' -f1); do
  "$drawlet" render "$photo" -o "$tmp/$look.png" -y --look "$look" 2>/dev/null
  ffmpeg -v error -y -i "$tmp/$look.png" \
    -vf "crop=200:200:116:30,split[a][b];[a]palettegen=max_colors=64[p];[b][p]paletteuse=dither=none" \
    "$out/looks/$look.png"
done
du -ch "$out"/looks/*.png | tail -1
fi

# The studio: the screenshot its page test takes, on a two-second clip made from the portrait.
if wanted studio; then
ffmpeg -v error -y -loop 1 -i "$photo" -frames:v 48 -c:v libx264 -pix_fmt yuv420p \
  -vf "zoompan=z='1.3-0.3*on/48':x='iw/2-(iw/zoom/2)':y='ih/2-(ih/zoom/2)':d=1:s=512x512:fps=24" \
  "$tmp/portrait.mp4"
node tests/studio/studio_page_test.mjs "$drawlet" --input "$tmp/portrait.mp4" \
  --screenshot "$tmp/studio.png"
ffmpeg -v error -y -i "$tmp/studio.png" -vf scale=1100:-1:flags=area -q:v 4 "$out/studio.jpg"
ls -l "$out/studio.jpg"
fi

# Following the motion: a window panning over the portrait by whole pixels (3 right and 1
# down a frame, 24 frames at 20 a second), drawn in the etching look, whose jitter never
# changes, plainly (left) and following the motion (right), side by side as a looping GIF
# of four grays.
if wanted motion; then
ffmpeg -v error -y -loop 1 -i "$photo" -frames:v 24 -r 20 -c:v ffv1 \
  -vf "crop=200:168:x='90+3*n':y='30+n',format=yuv444p" "$tmp/pan.mkv"
"$drawlet" render "$tmp/pan.mkv" -o "$tmp/plain.mkv" -q -y --codec ffv1 --look etching \
  --set follow-motion=off
"$drawlet" render "$tmp/pan.mkv" -o "$tmp/followed.mkv" -q -y --codec ffv1 --look etching
ffmpeg -v error -y -i "$tmp/plain.mkv" -i "$tmp/followed.mkv" -filter_complex \
  "[0]pad=iw+8:ih:0:0:white[l];[l][1]hstack,format=gray,split[a][b];[a]palettegen=max_colors=4:reserve_transparent=0[p];[b][p]paletteuse=dither=none" \
  -loop 0 "$out/follow-motion.gif"
ls -l "$out/follow-motion.gif"
fi

#!/usr/bin/env bash
# Makes the README's pictures with the project's own commands: the demo's contact sheet,
# cut into its tiles and scaled down, into docs/images/.
set -euo pipefail
cd "$(dirname "$0")/.."
drawlet=build/release/drawlet
out=docs/images
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
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

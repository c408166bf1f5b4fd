#!/usr/bin/env bash
# The Debian package: its file list, which the README's table lists; lintian without a tag,
# pedantic ones included; and, unpacked into a scratch root with dpkg -x, the drawlet command, melt and ffmpeg find the module, its pattern sets
# and the frei0r plug-in with nothing set but the plug-in folder under the scratch root.
# Usage: package_test.sh DRAWLET.deb SOURCE_DIR
set -euo pipefail
deb=$(realpath "$1")
source_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)

# --- Files: everything the package promises, and nothing else.
dpkg-deb -c "$deb" | awk '{ print $6 ($7 == "->" ? " -> " $8 : "") }' | sed 's|^\./|/|' |
  grep -v '/$' | sort >contents.txt
{
  echo "/usr/bin/drawlet -> ../lib/drawlet/drawlet"
  echo "/usr/include/drawlet/drawlet_filter.h"
  echo "/usr/lib/drawlet/Drawlet -> ../../share/drawlet/Drawlet"
  echo "/usr/lib/drawlet/Drawlet.auf"
  echo "/usr/lib/drawlet/drawlet"
  echo "/usr/lib/drawlet/drawlet.so"
  echo "/usr/lib/frei0r-1/drawlet.so -> ../drawlet/drawlet.so"
  for set in img img1 img2; do
    for i in 0 1 2 3 4 5 6; do echo "/usr/share/drawlet/Drawlet/$set/h$i.bmp"; done
  done
  for look in "$source_dir"/looks/*.json; do
    [ -e "$look" ] || continue
    name=$(basename "$look" .json)
    echo "/usr/share/drawlet/looks/$name.json"
    echo "/usr/share/kdenlive/effects/frei0r_drawlet_look_$name.xml"
  done
  echo "/usr/share/kdenlive/effects/frei0r_drawlet.xml"
  echo "/usr/share/shotcut/qml/filters/drawlet/meta_drawlet.qml"
  echo "/usr/share/shotcut/qml/filters/drawlet/ui.qml"
  echo "/usr/share/man/man1/drawlet.1.gz"
  echo "/usr/share/bash-completion/completions/drawlet"
  echo "/usr/share/zsh/vendor-completions/_drawlet"
  echo "/usr/share/doc/drawlet/copyright"
  echo "/usr/share/doc/drawlet/changelog.gz"
  echo "/usr/share/lintian/overrides/drawlet"
} | sort >expected.txt
diff -u expected.txt contents.txt || fail "the package's files are not the expected ones"
echo "files: the $(wc -l <expected.txt) expected ones"

# --- The README's table of the package's paths: every file is one listed, or in a folder
# listed (a path ending in /).
listed=$(awk '/The package holds:$/ { on = 1; next } on && /^\|/ { print; seen = 1; next }
  seen { exit }' "$source_dir/README.md" | cut -d'|' -f2 | grep -o '`/[^`]*`' | tr -d '`' || true)
[ -n "$listed" ] || fail "the README has no table of the package's paths"
in_readme() {  # PATH: listed as itself, or inside a folder listed
  local entry
  while read -r entry; do
    [ "$1" = "$entry" ] && return 0
    [[ "$entry" == */ && "$1" == "$entry"* ]] && return 0
  done <<<"$listed"
  return 1
}
unlisted=$(sed 's/ -> .*//' contents.txt | while read -r path; do in_readme "$path" || echo "$path"; done)
[ -z "$unlisted" ] || fail "the README's table does not list: $unlisted"
echo "README: its table lists every path of the package"

# --- lintian, informational and pedantic tags too. The only tag let through is an override
# that is no longer needed (shown, to be removed).
status=0
lintian -I --pedantic --fail-on error,warning,info,pedantic "$deb" >lintian.txt 2>&1 || status=$?
[ "$status" = 0 ] || [ "$status" = 2 ] || fail "lintian did not run (exit $status): $(cat lintian.txt)"
if grep -E '^[EWIPX]: ' lintian.txt | grep -v ': unused-override '; then
  fail "lintian reports the tags above"
fi
grep ': unused-override ' lintian.txt || true
echo "lintian: no tags"

# --- Installed into a scratch root.
root=$work/root
dpkg -x "$deb" "$root"
[ "$("$root/usr/bin/drawlet" --version)" = "drawlet $version" ] ||
  fail "drawlet --version does not print the package's version $version"
man --warnings -E UTF-8 -l "$root/usr/share/man/man1/drawlet.1.gz" 2>warnings.txt >manual.txt
[ ! -s warnings.txt ] || fail "the manual page has errors: $(cat warnings.txt)"
grep -q 'line-density' manual.txt || fail "the manual page lists no parameters"

# Six frames through ffmpeg's frei0r filter, with every parameter at its default, equal
# drawlet render's frames (the plug-in found the module and the patterns through the links).
mkdir in ref out
ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=25 -frames:v 6 -start_number 0 in/%03d.png
for n in 0 1 2 3 4 5; do
  f=$(printf %03d $n)
  "$root/usr/bin/drawlet" render in/$f.png -o ref/$f.png --frame $n --set pattern=2 >/dev/null ||
    fail "drawlet render from the scratch root failed"
done
export FREI0R_PATH=$root/usr/lib/frei0r-1
# Every parameter in order, each slider as (value - min) / (max - min): the defaults, with
# pattern set 2.
params=$("$root/usr/bin/drawlet" params --format tsv | awk -F'\t' '
  $1 == "slider" { v = $7 == "pattern" ? 2 : $4; printf "%.17g|", (v - $5) / ($6 - $5) }
  $1 == "check" { printf "%s|", $4 == 1 ? "y" : "n" }')
ffmpeg -v error -framerate 25 -start_number 0 -i in/%03d.png -vf "frei0r=drawlet:${params%|}" \
  -start_number 0 out/%03d.png || fail "ffmpeg's frei0r filter cannot use the plug-in"
frames() { ffmpeg -v error -start_number 0 -i "$1/%03d.png" -f rawvideo -pix_fmt rgb24 - | md5sum; }
[ "$(frames in)" != "$(frames ref)" ] || fail "drawlet render left the frames unchanged"
[ "$(frames out)" = "$(frames ref)" ] || fail "ffmpeg's frames differ from drawlet render's"
echo "drawlet and ffmpeg from the scratch root: the same six frames"
query=$(timeout 120 melt -query filter=frei0r.drawlet 2>/dev/null)
[ "$(grep -c '^  - identifier:' <<<"$query")" = 34 ] ||
  fail "melt does not find the plug-in's 34 parameters in the scratch root"
echo "melt: finds frei0r.drawlet and its 34 parameters"
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# The editors' descriptions, used as the editors use them and rendered by melt:
# - a 29.97 fps project whose filter carries what Kdenlive's description of a look sets (its
#   fixed settings and defaults, a keyframed slider in frame numbers), and one carrying what
#   Shotcut's controls set (a list choice, a keyframed slider in clock times), give exactly
#   the frames drawlet render gives for the same values and frame numbers;
# - without the rate clock the frame numbers go wrong (so the comparison can fail);
# - the descriptions are well-formed XML and QML and name only the plug-in's parameters;
# - the bash completion completes commands, options and parameter names.
# Usage: editors_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
drawlet=$build/drawlet
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in ffmpeg melt xmllint; do
  command -v $tool >/dev/null || fail "$tool is not installed (scripts/install-deps.sh)"
done
export FREI0R_PATH=$build

# --- The descriptions are well-formed and name only the plug-in's parameters.
kdenlive=$source_dir/hosts/frei0r/frei0r_drawlet.xml
shotcut=$source_dir/hosts/frei0r/shotcut
cat >look.json <<'EOF'
{"mode": 4, "line-density": 150, "hatching": false, "tilt": -250, "pattern": 1}
EOF
"$drawlet" params --format kdenlive --settings look.json --look-name sample-look >look.xml
for xml in "$kdenlive" look.xml "$build"/generated/kdenlive/*.xml; do
  [ -e "$xml" ] || continue
  xmllint --noout "$xml" || fail "$xml is not well-formed XML"
done
grep -q 'id="drawlet-look-sample-look"' look.xml || fail "the look's effect has no id of its own"
grep -q '<name>Drawlet: sample look</name>' look.xml || fail "the look's effect is not named"
known=$(melt -query filter=frei0r.drawlet 2>/dev/null | sed -n 's/^    title: //p' | sort -u)
[ "$(wc -l <<<"$known")" = 34 ] || fail "melt does not list the plug-in's 34 parameters"
used=$({
  xmllint --xpath '//parameter/@name' "$kdenlive" | grep -o '"[^"]*"' | tr -d '"'
  grep -o "filter\.set('[a-z0-9-]*'" "$shotcut/ui.qml" | cut -d"'" -f2
  grep -o "property: '[a-z0-9-]*'" "$shotcut/meta_drawlet.qml" | cut -d"'" -f2
} | sort -u)
unknown=$(comm -23 <(echo "$used") <(echo "$known"))
[ -z "$unknown" ] || fail "the descriptions name what the plug-in does not have: $unknown"
qmllint=$(command -v qmllint || ls /usr/lib/qt5/bin/qmllint 2>/dev/null || true)
if [ -n "$qmllint" ]; then
  "$qmllint" "$shotcut/meta_drawlet.qml" "$shotcut/ui.qml" || fail "qmllint refuses Shotcut's files"
  echo "qmllint: Shotcut's files pass"
else
  echo "qmllint not installed: Shotcut's QML not checked (apt-get install qtdeclarative5-dev-tools)"
fi

# --- Projects as the editors make them, rendered by melt.
# Six frames at 30000/1001 fps, stored losslessly in RGB so that melt's pictures are the
# pixels drawlet reads from the PNGs.
mkdir in
ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=30000/1001 -frames:v 6 -start_number 0 \
  in/%03d.png
ffmpeg -v error -framerate 30000/1001 -start_number 0 -i in/%03d.png -c:v ffv1 -pix_fmt bgr0 clip.mkv

# The filter's properties as Kdenlive sets them from a description: the fixed values, then
# every other parameter's default.
kdenlive_properties() {
  local count i name value
  count=$(xmllint --xpath 'count(//parameter)' "$1")
  for ((i = 1; i <= count; i++)); do
    name=$(xmllint --xpath "string(//parameter[$i]/@name)" "$1")
    value=$(xmllint --xpath "string(//parameter[$i]/@value)" "$1")
    [ -n "$value" ] || value=$(xmllint --xpath "string(//parameter[$i]/@default)" "$1")
    echo "$name=$value"
  done
}
# ... and as Shotcut's controls set them on a new filter.
shotcut_properties() {
  sed -n "/Component.onCompleted/,/setControls();/s/^ *filter\.set('\([a-z0-9-]*\)', '*\([^')]*\)'*);$/\1=\2/p" "$1"
}
# project FILE [FIRST]: an MLT project at 29.97 fps with the clip from frame FIRST (0) on
# and a filter with the properties read from standard input.
project() {
  local first=${2:-0}
  {
    cat <<EOF
<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C">
  <profile width="160" height="120" frame_rate_num="30000" frame_rate_den="1001"
           sample_aspect_num="1" sample_aspect_den="1" display_aspect_num="4"
           display_aspect_den="3" progressive="1" colorspace="709"/>
  <producer id="clip" in="0" out="5"><property name="resource">clip.mkv</property></producer>
  <playlist id="track">
    <entry producer="clip" in="$first" out="5">
      <filter id="drawlet">
        <property name="mlt_service">frei0r.drawlet</property>
EOF
    while IFS='=' read -r name value; do
      echo "        <property name=\"$name\">$value</property>"
    done
    echo "      </filter>"
    echo "    </entry>"
    echo "  </playlist>"
    echo "</mlt>"
  } >"$1"
}
# render_melt PROJECT DIR [FRAMES]: melt's frames of PROJECT as DIR/000.png... On this test's
# busy machines melt now and then ends at once with no frame and no message (exit 0): a run
# that writes nothing is tried once more, a wrong count of frames fails at once.
render_melt() {
  local attempt status
  for attempt in 1 2; do
    rm -rf "$2" && mkdir "$2"
    status=0
    timeout 300 melt -silent "$1" -consumer avformat:"$2/%03d.png" vcodec=png start_number=0 \
      real_time=0 </dev/null >"$2.log" 2>&1 || status=$?
    [ -n "$(ls "$2")" ] && break
  done
  [ "$(ls "$2" | wc -l)" = "${3:-6}" ] ||
    fail "melt (exit $status) wrote $(ls "$2" | wc -l) frames of $1: $(grep -v -e LADSPA -e '^$' "$2.log" | tail -5)"
}
# reference DIR ARGS...: drawlet render of each frame with its number; DENSITY in an argument
# is the line density of the keyframes (50 at frame 0 to 150 at frame 5).
reference() {
  local dir=$1 n
  shift
  mkdir "$dir"
  for n in 0 1 2 3 4 5; do
    "$drawlet" render "in/$(printf %03d $n).png" -o "$dir/$(printf %03d $n).png" --frame $n \
      "${@//DENSITY/$((50 + 20 * n))}" >/dev/null
  done
}
frames() { ffmpeg -v error -start_number 0 -i "$1/%03d.png" -f rawvideo -pix_fmt rgb24 - | md5sum; }

# Kdenlive: the look's effect, line density keyframed by frame number.
kdenlive_properties look.xml | grep -v '^line-density=' >kdenlive.txt
echo "line-density=0=50;5=150" >>kdenlive.txt
grep -qx 'frames-in-1001000-seconds=0:1001000.0' kdenlive.txt ||
  fail "Kdenlive's description does not set the rate clock"
project kdenlive.mlt <kdenlive.txt
render_melt kdenlive.mlt kdenlive-out
reference look-ref --settings look.json --set line-density=DENSITY
[ "$(frames kdenlive-out)" = "$(frames look-ref)" ] ||
  fail "the Kdenlive look's frames differ from drawlet render's"
echo "Kdenlive: a look with keyframes at 29.97 fps gives drawlet render's 6 frames"

# Shotcut: a new filter, mode chosen from the list, line density keyframed in clock times
# (frame 5 at 29.97 fps is 0.167 s).
{
  shotcut_properties "$shotcut/ui.qml" | grep -v -e '^mode=' -e '^line-density='
  echo "mode=3"
  echo "line-density=00:00:00.000=50;00:00:00.167=150"
  echo "shotcut:filter=drawlet"
} >shotcut.txt
grep -qx 'integer-values=1' shotcut.txt || fail "Shotcut's controls do not set integer-values"
project shotcut.mlt <shotcut.txt
render_melt shotcut.mlt shotcut-out
reference mode3-ref --set mode=3 --set line-density=DENSITY
[ "$(frames shotcut-out)" = "$(frames mode3-ref)" ] ||
  fail "the Shotcut project's frames differ from drawlet render's"
echo "Shotcut: list choice and keyframes at 29.97 fps give drawlet render's 6 frames"

# An effect on a clip that starts at the source's third frame numbers the frames from the
# source's start, as drawlet render of the source does.
project cut.mlt 2 <shotcut.txt
render_melt cut.mlt cut-out 4
[ "$(ffmpeg -v error -i cut-out/000.png -f rawvideo -pix_fmt rgb24 - | md5sum)" = \
  "$(ffmpeg -v error -i mode3-ref/002.png -f rawvideo -pix_fmt rgb24 - | md5sum)" ] ||
  fail "the clip cut from frame 2 does not start with frame number 2"
echo "Shotcut: a clip cut from frame 2 starts with frame number 2"

# Without the rate clock, the default 25 frames per second numbers these frames wrongly.
grep -v '^frames-in-1001000-seconds=' shotcut.txt | project unclocked.mlt
render_melt unclocked.mlt unclocked-out
[ "$(frames unclocked-out)" != "$(frames mode3-ref)" ] ||
  fail "frames numbered at 25 fps equal the 29.97 fps ones: the comparison shows nothing"

# --- bash completion, from the command line's definitions.
source <("$drawlet" completion bash)
compopt() { :; }  # only meaningful inside a real completion
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _drawlet
  echo "${COMPREPLY[*]}"
}
[ "$(complete_words drawlet ren)" = render ] || fail "bash does not complete the command render"
[ "$(complete_words drawlet render --set line-d)" = line-density= ] ||
  fail "bash does not complete parameter names after --set"
[ "$(complete_words drawlet params --format shotcut)" = "shotcut-meta shotcut-ui" ] ||
  fail "bash does not complete the formats of params"
[[ " $(complete_words drawlet join --o) " == *" --output "* ]] ||
  fail "bash does not complete the options of join"
echo "bash completion: commands, options, formats and parameter names"
if command -v zsh >/dev/null; then
  mkdir zsh
  "$drawlet" completion zsh >zsh/_drawlet
  zsh -n zsh/_drawlet || fail "the zsh completion is not valid zsh"
  # An interactive zsh on a pseudo-terminal, completing a parameter name after --set.
  completed=$(timeout 60 zsh -f -c '
    zmodload zsh/zpty
    zpty z "zsh -f -i"
    zpty -w z "fpath=($1/zsh \$fpath); autoload -Uz compinit; compinit -u -D; path=($2 \$path)"
    zpty -n -w z "drawlet render --set line-d"$'"'"'\t'"'"'
    zpty -r z line "*line-density=*" && print ok
    zpty -d z' zsh "$work" "$build" 2>/dev/null | tail -1) || true
  [ "$completed" = ok ] || fail "zsh does not complete parameter names after --set"
  echo "zsh completion: parameter names after --set"
else
  echo "zsh not installed: its completion not checked"
fi
echo "1 passed, 0 failed"

#!/usr/bin/env bash
# The studio following a control on a 1080p frame (a pan over a real photograph): the
# server's work (settings, filter, PNG) for previews of 480 and 960 pixels and the exact
# full-size frame; then, where node, chromium and tests/studio's npm packages are installed,
# the time the page takes from a slider's move to the frames shown.
#   bench/studio_latency.sh [BUILD_DIR] [benchmark options]
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
shift || true
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pan_clip "$work/clip.mp4" 1
"$build/bench/studio_bench" "$work/clip.mp4" "$@"
if command -v node >/dev/null && [ -x /usr/bin/chromium ] && [ -d "$root/tests/studio/node_modules" ]; then
  node "$root/tests/studio/page_latency.mjs" "$build/drawlet" "$work/clip.mp4"
fi

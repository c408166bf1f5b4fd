#!/usr/bin/env bash
# Instructions of one 1080p frame and of its floor on one thread, counted by callgrind, for
# every setting of the frame benchmark, with the ratio of the two. Instruction counts do not
# depend on the machine's load.
# Usage: bench/instructions.sh [BUILD_DIR] [SETTING...]
set -euo pipefail
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
shift || true
settings=("$@")
[ ${#settings[@]} -gt 0 ] || settings=(default line-type-3 bicubic bilinear diffusion mask)
command -v valgrind >/dev/null || { echo "valgrind is needed (apt-get install valgrind)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

count() {  # SETTING PART: instructions of the measured call
  local out=$work/$1-$2.out
  valgrind --tool=callgrind --callgrind-out-file="$out" --collect-atstart=no \
    --toggle-collect='*measured*' "$build/bench/frame_bench" --count "$1" "$2" \
    >/dev/null 2>"$work/$1-$2.log" || { cat "$work/$1-$2.log"; exit 1; }
  awk '/^summary:/ { print $2 }' "$out"
}

printf '%-14s %14s %14s %8s\n' "1080p, 1 thread" "frame (M)" "floor (M)" "ratio"
for s in "${settings[@]}"; do
  frame=$(count "$s" frame)
  floor=$(count "$s" floor)
  awk -v s="$s" -v a="$frame" -v b="$floor" \
    'BEGIN { printf "%-14s %14.1f %14.1f %8.2f\n", s, a / 1e6, b / 1e6, a / b }'
done

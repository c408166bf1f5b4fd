#!/usr/bin/env bash
# Following the picture's motion: change rates of the plain and the followed render on 1080p
# clips of known motion made from the benchmarks' photograph, line flicker, and the motion
# follower's cost on one thread (bench/motion_bench.cpp says what each counter means).
#   bench/motion_bench.sh [BUILD_DIR] [benchmark options...]
set -euo pipefail
source "$(dirname "$0")/bench_common.sh"
build=$(cd "${1:-$(dirname "$0")/../build/release}" && pwd)
shift || true
photo=$(bench_photo)
"$build/bench/motion_bench" "$photo" "$@"

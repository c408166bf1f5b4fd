#!/usr/bin/env bash
# Installs from Debian's archive what is missing for one use of the repository:
#   scripts/install-deps.sh build   the compiler and the libraries: configure and build
#   scripts/install-deps.sh test    and the tools the tests run (the release and sanitize suites)
#   scripts/install-deps.sh [all]   and clang, for the clang sanitizer, ThreadSanitizer and
#                                   fuzzing presets and the formatting check
set -euo pipefail
group=${1:-all}

# The release preset configures the tests and benchmarks too, so GoogleTest and Google
# Benchmark belong to the build; FFmpeg's libraries read and write videos.
build=(build-essential cmake pkg-config libopencv-dev libgtest-dev libbenchmark-dev
       libcli11-dev libfmt-dev nlohmann-json3-dev libtbb-dev libavformat-dev libavcodec-dev
       libavutil-dev libswscale-dev libswresample-dev libcpp-httplib-dev)
# The ffmpeg program and melt make and check clips; the frei0r header builds the plug-in
# they load; xmllint, qmllint and zsh check the editors' descriptions and the completions.
test=(ffmpeg frei0r-plugins-dev melt libxml2-utils qtdeclarative5-dev-tools zsh)
clang=(clang clang-format libclang-rt-14-dev)

case "$group" in
  build) packages=("${build[@]}") ;;
  test) packages=("${build[@]}" "${test[@]}") ;;
  all) packages=("${build[@]}" "${test[@]}" "${clang[@]}") ;;
  *) echo "usage: $0 [build|test|all]" >&2; exit 2 ;;
esac
source "$(dirname "$0")/apt_missing.sh"
install_missing "${packages[@]}"

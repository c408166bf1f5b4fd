#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's archive, if it is missing.
set -euo pipefail

# FFmpeg's libraries read and write videos; the ffmpeg program and melt are test tools, and
# so are xmllint, qmllint and zsh (the editors' descriptions and the shell completions);
# clang and its runtime build the sanitizer and fuzzing presets.
packages=(build-essential cmake pkg-config clang clang-format libclang-rt-14-dev libopencv-dev
          libgtest-dev libbenchmark-dev libcli11-dev libfmt-dev nlohmann-json3-dev libtbb-dev
          libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
          libcpp-httplib-dev ffmpeg frei0r-plugins-dev melt libxml2-utils
          qtdeclarative5-dev-tools zsh)

source "$(dirname "$0")/apt_missing.sh"
install_missing "${packages[@]}"

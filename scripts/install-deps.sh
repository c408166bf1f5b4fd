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

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

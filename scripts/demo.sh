#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine for the demo and renders it: installs the compiler and
# the libraries if they are missing, builds what the demo runs (the drawlet command, the
# module it loads, the pattern sets beside it and the looks) in the release build, which
# scripts/test.sh then completes, and writes drawlet-demo.png and drawlet-demo.mp4.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release drawlet drawlet_module drawlet_pattern_files drawlet_looks
build/release/drawlet demo -y -o drawlet-demo.png

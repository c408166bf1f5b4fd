#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and renders the built-in demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh release
build/release/drawlet demo -y -o drawlet-demo.png

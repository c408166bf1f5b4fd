#!/usr/bin/env bash
# Installs what is missing, configures and builds one preset (release by default), or only
# the targets named: scripts/build.sh [PRESET [TARGET...]]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
shift || true
# Only the clang presets need clang; a build of named targets needs no test tools.
case "$preset" in
  release | sanitize) deps=test ;;
  *) deps=all ;;
esac
targets=()
if [ $# -gt 0 ]; then
  targets=(--target "$@")
  [ "$deps" = test ] && deps=build
fi
bash scripts/install-deps.sh "$deps"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}"

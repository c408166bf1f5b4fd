#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine, then builds and runs the whole test
# suite twice: optimised, and under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in release sanitize; do
  echo "== $preset =="
  bash scripts/build.sh "$preset"
  ctest --preset "$preset" -j"$(nproc)"
done

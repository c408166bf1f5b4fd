#!/usr/bin/env bash
# The checks CI runs besides scripts/test.sh: the whole test suite built with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer with its float-to-int overflow checks
# (which GCC's does not have), the tests labelled threads under ThreadSanitizer, and every
# fuzz target for FUZZ_SECONDS seconds (60 by default). Prints how long each part took.
set -euo pipefail
cd "$(dirname "$0")/.."
for preset in sanitize-clang tsan; do
  echo "== $preset =="
  start=$SECONDS
  bash scripts/build.sh "$preset"
  ctest --preset "$preset" -j"$(nproc)"
  echo "$preset: built and tested in $((SECONDS - start)) s"
done
start=$SECONDS
bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
echo "fuzzing: $((SECONDS - start)) s"

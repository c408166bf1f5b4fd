#!/usr/bin/env bash
# Runs every fuzz target of the sanitize-clang build for SECONDS each (60 by default), from
# its seed corpus in fuzz/corpus, and fails on the first sanitizer report, crash, timeout or
# broken invariant. Inputs found on the way are kept in build/sanitize-clang/fuzz-corpus (a
# longer run goes on from them); a failing input is written to build/sanitize-clang/
# fuzz-findings. Builds the preset first.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 3600 fuzz_settings_frame
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_pattern_file fuzz_settings_frame fuzz_picture_header)

bash scripts/build.sh sanitize-clang
build=build/sanitize-clang
mkdir -p "$build/fuzz-findings"
for target in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$target"
  log="$build/fuzz-findings/$target.log"
  mkdir -p "$corpus"
  echo "== $target: $seconds s =="
  # New inputs go into the first folder; the seeds in the repository are only read.
  # -timeout: an input taking 5 minutes counts as a hang. Settings within the registered
  # ranges (a stroke at every contour point of 220 threshold passes) took up to 73 s for an
  # input's two 64 x 64 frames under the sanitizers, on a loaded two-core machine.
  if ! "$build/fuzz/$target" "$corpus" "fuzz/corpus/$target" -max_total_time="$seconds" \
      -timeout=300 -print_final_stats=1 -artifact_prefix="$build/fuzz-findings/$target-" \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "$target: FAILED; the input is in $build/fuzz-findings, the whole log in $log"
    exit 1
  fi
  units=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
  rate=$(awk '/stat::average_exec_per_sec/ { print $2 }' "$log")
  echo "$target: no report; $units inputs, $rate per second" \
       "($(awk -v r="$rate" 'BEGIN { if (r > 0) printf "%.0f", 1e6 / r / 60; else print "?" }')" \
       "minutes for a million)"
done

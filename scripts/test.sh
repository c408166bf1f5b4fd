#!/usr/bin/env bash
# Builds and runs the tests on a fresh Debian 12 machine, installing what is missing.
#   scripts/test.sh        the release build (tests and benchmarks) and its test suite
#   scripts/test.sh --all  what CI runs: the layer check, the studio's page in a browser
#                          (required, not skipped), the release suite, the suite under GCC's
#                          AddressSanitizer and UndefinedBehaviorSanitizer, clang's sanitizers,
#                          ThreadSanitizer and the fuzzers, the Debian package, the Windows
#                          module under Wine, and the formatting check
set -euo pipefail
cd "$(dirname "$0")/.."
all=0
case "${1:-}" in
  "") ;;
  --all) all=1 ;;
  *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

suite() {
  echo "== $1 =="
  local start=$SECONDS
  bash scripts/build.sh "$1"
  ctest --preset "$1" -j"$(nproc)"
  echo "$1: built and tested in $((SECONDS - start)) s"
}

if [ "$all" -eq 0 ]; then
  suite release
  exit 0
fi
bash scripts/install-browser-test-deps.sh
export DRAWLET_REQUIRE_BROWSER=1
bash scripts/check-layers.sh
suite release
suite sanitize
bash scripts/test-clang.sh
bash scripts/package.sh
bash scripts/build-windows.sh
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "formatting: clean"

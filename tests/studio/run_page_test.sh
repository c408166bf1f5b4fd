#!/bin/sh
# Runs studio_page_test.mjs with node: run_page_test.sh DRAWLET [ARGS...]. Without node the
# test is skipped (exit 77), unless DRAWLET_REQUIRE_BROWSER=1, as CI sets it.
if ! command -v node >/dev/null 2>&1; then
  echo "node is not installed (apt-get install nodejs npm; npm ci in tests/studio)"
  [ "${DRAWLET_REQUIRE_BROWSER:-0}" = 1 ] && exit 1
  exit 77
fi
exec node "$(dirname "$0")/studio_page_test.mjs" "$@"

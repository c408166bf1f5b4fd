#!/usr/bin/env bash
# Builds the Debian package build/package/drawlet_VERSION_ARCH.deb with CPack from the
# release build, then tests it with tests/package_test.sh (its files, lintian, and the
# command, melt and ffmpeg working from a scratch root it is unpacked into).
#   scripts/package.sh            build and test
#   scripts/package.sh --no-test  build only
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=1
[ "${1:-}" = "--no-test" ] && run_tests=0

# CPack finds the libraries the package depends on with dpkg-shlibdeps and file.
need=(dpkg-dev file)
[ "$run_tests" -eq 1 ] && need+=(lintian)
source scripts/apt_missing.sh
install_missing "${need[@]}"

bash scripts/build.sh release
rm -rf build/package
(cd build/release && cpack -G DEB -B ../package >/dev/null)
deb=$(ls build/package/drawlet_*.deb)
echo "built $deb"
if [ "$run_tests" -eq 1 ]; then
  bash tests/package_test.sh "$deb" .
fi

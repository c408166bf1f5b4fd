#!/usr/bin/env bash
# Builds the 32-bit Windows Drawlet.auf on Debian 12 and tests it under Wine, from nothing:
#   scripts/build-windows.sh            build, then run the Wine tests
#   scripts/build-windows.sh --no-test  build only
# Installs the mingw-w64 cross compilers and Wine from Debian's archive, builds a static
# OpenCV for the target from Debian's source package (once: later runs reuse it), builds
# the Linux module (its pattern folder goes beside the Windows one, and the Wine tests
# compare the two modules' frames), then build/windows/Drawlet.auf with build/windows/Drawlet/
# and build/windows/Drawlet-VERSION-windows.zip, the two with a read-me, ready to unpack into
# the editor's plug-in folder. The Wine tests load the module from the unpacked zip.
set -euo pipefail
cd "$(dirname "$0")/.."
run_tests=1
[ "${1:-}" = "--no-test" ] && run_tests=0

source scripts/apt_missing.sh
# 32-bit Wine needs the archive's i386 lists in step with its amd64 ones. A mirror can serve
# them out of step for days (an i386 index of the wrong size): then no 32-bit library can
# match its installed 64-bit twin, and Wine cannot be had at all. The module is still built
# and checked; its run under Wine is skipped, and said so loudly, at the start and at the end.
wine_missing=""
if [ "$run_tests" -eq 1 ] && ! { command -v wine >/dev/null && dpkg -s wine32:i386 >/dev/null 2>&1; }; then
  echo "Installing Wine (32-bit)"
  apt_sudo dpkg --add-architecture i386
  apt_update
  for try in 1 2; do
    apt_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine wine32:i386 >/dev/null &&
      break
    if [ "$try" -eq 2 ]; then
      wine_missing="Wine (wine32:i386) cannot be installed from the package archive now, whose i386 lists are out of step with its amd64 ones: the Windows module is built, but NOT tested under Wine"
      echo "build-windows: $wine_missing" >&2
      run_tests=0
    else
      sleep "${DRAWLET_APT_PAUSE:-15}"
      apt_update
    fi
  done
fi

bash scripts/build-opencv-mingw.sh
bash scripts/build.sh release
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"
echo "built build/windows/Drawlet.auf, build/windows/Drawlet/ and $(ls build/windows/Drawlet-*-windows.zip)"
if [ "$run_tests" -eq 1 ]; then
  bash tests/windows/wine_test.sh build/release build/windows
fi
if [ -n "$wine_missing" ]; then
  echo "build-windows: $wine_missing" >&2
fi

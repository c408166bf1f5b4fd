#!/usr/bin/env bash
# Installs what the studio's page test needs besides the build: Debian's chromium, node and
# npm, and the test's own npm packages (puppeteer-core, pinned by tests/studio's lock file;
# it never downloads a browser of its own). Without them that test is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(chromium)
# A node from elsewhere (with its own npm) serves as well as Debian's.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
source scripts/apt_missing.sh
install_missing "${packages[@]}"
(cd tests/studio && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)

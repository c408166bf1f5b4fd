#!/usr/bin/env bash
# Installs what the studio's page test needs besides the build: Debian's chromium, node and
# npm, and the test's own npm packages (puppeteer-core, pinned by tests/studio's lock file;
# it never downloads a browser of its own). Without them that test is skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(chromium)
# A node from elsewhere (with its own npm) serves as well as Debian's.
command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
(cd tests/studio && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)

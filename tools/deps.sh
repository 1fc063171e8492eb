#!/usr/bin/env bash
# Installs what building and testing Kinloom needs on a Debian machine, and nothing when it is all there.
# Debian packages through apt-get, the browser driver through npm (never a downloaded browser).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  make cmake g++ ninja-build nodejs npm
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth xdotool
  chromium fonts-dejavu-core
  qpdf poppler-utils unzip
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# A machine may carry node and npm from elsewhere; use them as they are.
if command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1; then
  filtered=()
  for p in "${missing[@]}"; do [[ "$p" == nodejs || "$p" == npm ]] || filtered+=("$p"); done
  missing=("${filtered[@]}")
fi

if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" = 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
  echo "deps: installing node packages"
  npm ci --no-audit --no-fund --loglevel=error
fi

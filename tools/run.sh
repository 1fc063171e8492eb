#!/usr/bin/env bash
# Opens dist/Kinloom.html in Chromium in app mode with a private profile under build/, as the launcher
# does with Edge on Windows. Without a display it says so and shows where the files are.
set -euo pipefail
cd "$(dirname "$0")/.."
doc="$PWD/dist/Kinloom.html"
profile="$PWD/build/profile"
mkdir -p "$profile"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to open a window on."
  echo "  document:        $doc"
  echo "  browser profile: $profile"
  [ -d dist ] && ls dist | sed 's/^/  built: dist\//'
  echo "Open the document in Chromium or Edge, or run: chromium --app=file://$doc --user-data-dir=$profile"
  exit 0
fi
exec chromium --app="file://$doc" --user-data-dir="$profile" --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync

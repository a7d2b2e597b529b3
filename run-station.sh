#!/usr/bin/env bash
# Builds the station and starts it from its program folder build/station/.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh run
tools/configure-build.sh build
cmake --build build --target tavrin tavrin-cli station_data

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the station on a virtual X display (Xvfb). Stop it with Ctrl+C."
  exec xvfb-run -a -s "-screen 0 1280x800x24" build/station/tavrin
fi
exec build/station/tavrin

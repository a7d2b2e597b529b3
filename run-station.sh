#!/usr/bin/env bash
# Builds the station and starts it from its program folder build/station/.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-dependencies.sh run
tools/configure-build.sh build
cmake --build build --target tavrin tavrin-cli station_data pgbwrite

# First run (no build/station/tavrin.ini yet): a demo in build/demo/ with demo
# jobs and its own FTP web host, web server and mail server on 127.0.0.1,
# which run as long as the station does. A settings file of the shop's own is
# left alone. Without a display the station runs on a virtual X display.
exec tools/demo/run-with-demo.sh build/station build/demo

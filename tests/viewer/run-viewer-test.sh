#!/usr/bin/env bash
# Runs the viewer's browser test: installs playwright-core from the lock file
# into the build folder when it is missing or stale, then runs the test.
# Usage: run-viewer-test.sh SOURCE_DIR BUILD_DIR [SCREENSHOT_DIR]
set -euo pipefail
source_dir=$1
build_dir=$2
work=$build_dir/tests/viewer
"$source_dir/tests/viewer/install-playwright.sh" "$source_dir" "$build_dir"
exec node "$source_dir/tests/viewer/viewer-test.cjs" "$source_dir" "$build_dir" "$work/node_modules" "${3:-$work/screenshots}"

#!/usr/bin/env bash
# Runs one of the viewer's browser tests: installs playwright-core from the
# lock file into the build folder when it is missing or stale, then runs it.
# Usage: run-viewer-test.sh SOURCE_DIR BUILD_DIR [SCREENSHOT_DIR] [TEST_SCRIPT]
# (TEST_SCRIPT is a file of tests/viewer/, viewer-test.cjs by default).
set -euo pipefail
source_dir=$1
build_dir=$2
work=$build_dir/tests/viewer
screenshots=${3:-$work/screenshots}
script=${4:-viewer-test.cjs}
"$source_dir/tests/viewer/install-playwright.sh" "$source_dir" "$build_dir"
exec node "$source_dir/tests/viewer/$script" "$source_dir" "$build_dir" "$work/node_modules" "$screenshots"

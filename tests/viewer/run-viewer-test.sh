#!/usr/bin/env bash
# Runs the viewer's browser test: installs playwright-core from the lock file
# into the build folder when it is missing or stale, then runs the test.
# Usage: run-viewer-test.sh SOURCE_DIR BUILD_DIR [SCREENSHOT_DIR]
set -euo pipefail
source_dir=$1
build_dir=$2
work=$build_dir/tests/viewer
mkdir -p "$work"
if ! cmp -s "$source_dir/tests/viewer/package-lock.json" "$work/package-lock.json" ||
   [ ! -d "$work/node_modules/playwright-core" ]; then
  cp "$source_dir/tests/viewer/package.json" "$source_dir/tests/viewer/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi
exec node "$source_dir/tests/viewer/viewer-test.cjs" "$source_dir" "$build_dir" "$work/node_modules" "${3:-$work/screenshots}"

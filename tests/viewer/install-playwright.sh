#!/usr/bin/env bash
# Installs the viewer's npm tooling (playwright-core, ESLint, axe-core) from the lock
# file into BUILD_DIR/tests/viewer when it is missing or stale; the browser
# tests and the linter share that copy.
# Usage: install-playwright.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
work=$2/tests/viewer
mkdir -p "$work"
if ! cmp -s "$source_dir/tests/viewer/package-lock.json" "$work/package-lock.json" ||
   [ ! -d "$work/node_modules/playwright-core" ] || [ ! -d "$work/node_modules/eslint" ] || [ ! -d "$work/node_modules/axe-core" ]; then
  cp "$source_dir/tests/viewer/package.json" "$source_dir/tests/viewer/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
fi

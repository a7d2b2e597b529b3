#!/usr/bin/env bash
# ESLint, from the lock file like playwright-core, on the viewer's modules,
# their unit tests and the joined script of the program folder.
# Usage: run-viewer-lint.sh SOURCE_DIR BUILD_DIR STATION_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
station_dir=$3
"$source_dir/tests/viewer/install-playwright.sh" "$source_dir" "$build_dir"
modules=$build_dir/tests/viewer/node_modules
# The configuration lives in the source tree and ESLint in the build folder:
# NODE_PATH lets the configuration find ESLint's own rule sets.
eslint() {
  NODE_PATH=$modules node "$modules/eslint/bin/eslint.js" --max-warnings 0 \
    --config "$source_dir/tests/viewer/eslint.config.cjs" "$@"
}
(cd "$source_dir" && eslint data/viewer tests/viewer/unit)
(cd "$station_dir" && eslint tavrin.js)
echo "ESLint found nothing in the viewer's modules, their tests and tavrin.js"

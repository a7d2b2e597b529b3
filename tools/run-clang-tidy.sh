#!/usr/bin/env bash
# Runs the bug-finding checks of .clang-tidy on the core's sources, with the
# compile commands of a built build folder. Fails on any finding. Files found
# clean before with the same inputs are not checked again (tools/run-clang-tidy.py).
# Usage: tools/run-clang-tidy.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || { echo "No $build/compile_commands.json: configure the build first." >&2; exit 2; }
# The generated profile source must exist for the files that include its header.
cmake --build "$build" --target tavrin_builtin_profile >/dev/null
exec /usr/bin/python3 tools/run-clang-tidy.py "$build"

#!/usr/bin/env bash
# Runs the bug-finding checks of .clang-tidy on the core's sources, with the
# compile commands of a configured build folder. Fails on any finding.
# Usage: tools/run-clang-tidy.sh [BUILD_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || { echo "No $build/compile_commands.json: configure the build first." >&2; exit 2; }
# The generated profile source must exist for the files that include its header.
cmake --build "$build" --target tavrin_builtin_profile >/dev/null
echo "== clang-tidy on the core"
run-clang-tidy -p "$build" -j "$(nproc)" -quiet "$(pwd)/(base|engines|tasks|station)/.*\.cpp$" >"$build/clang-tidy.log" 2>&1 || {
  grep -E "(error|warning): " "$build/clang-tidy.log" | sed 's/\x1b\[[0-9;]*m//g' | sort -u >&2
  echo "clang-tidy found the faults above (whole log: $build/clang-tidy.log)" >&2
  exit 1
}
echo "no findings"

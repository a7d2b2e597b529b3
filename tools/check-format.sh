#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what .clang-format makes
# of it; prints the files. Format them with: clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
files() {
  git ls-files -z '*.cpp' '*.h' 2>/dev/null ||
    find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0
}
# Many files per process, one process per core: a process per file costs more than the check.
report=$(files | xargs -0 -n 50 -P "$(nproc)" clang-format --dry-run -Werror 2>&1 >/dev/null) && status=0 || status=1
if [ $status -ne 0 ]; then
  grep -oE '^[^:]+\.(cpp|h):[0-9]+:[0-9]+: error' <<<"$report" | cut -d: -f1 | sort -u |
    sed 's/$/ is not formatted as .clang-format says/'
  # A failure that names no file (clang-format itself failing) must still show.
  grep -qE '^[^:]+\.(cpp|h):[0-9]+:[0-9]+: error' <<<"$report" || echo "$report"
  exit 1
fi
echo "Every C++ file is formatted as .clang-format says."

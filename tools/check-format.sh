#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what .clang-format makes
# of it; prints the files. Format them with: clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r file; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "$file is not formatted as .clang-format says"
    status=1
  fi
done < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -path ./build\* -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
[ $status -eq 0 ] && echo "Every C++ file is formatted as .clang-format says."
exit $status

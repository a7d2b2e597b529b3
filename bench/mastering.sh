#!/usr/bin/env bash
# Mastering benchmark on two pages: page 1 of the test job (CMYK and one spot
# ink) and the screened page (the same content under rotated 150 lpi AM
# screens), each at 2400 dpi on A4 and on A3 (kept in build/bench-data/
# between runs); masters each with mastering_bench beside tiffcp -c lzw of
# the same master.
# Usage: bench/mastering.sh [BUILD] [REPEATS]   (default build, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${1:-build}
repeats=${2:-3}
cmake --build "$build" --target mastering_bench pgbwrite >/dev/null
source "$root/bench/bench-pages.sh"
render_bench_pages
echo "cores: $(nproc)"
for page in "${bench_pages[@]}"; do
  echo "== ${page^^}"
  "$build/bench/mastering_bench" "$build/bench-data/mastering-$page" "$repeats"
done

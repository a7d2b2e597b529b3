#!/usr/bin/env bash
# Mastering benchmark: renders page 1 of the test job (CMYK and one spot ink)
# at 2400 dpi on A4 and on A3 (kept in build/bench-data/ between runs), then
# masters each with mastering_bench beside tiffcp -c lzw of the same master.
# Usage: bench/mastering.sh [BUILD] [REPEATS]   (default build, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${1:-build}
repeats=${2:-3}
cmake --build "$build" --target mastering_bench pgbwrite >/dev/null
render() {  # job folder [size]
  if [ ! -f "$2/$1-1-Black.pgb" ]; then
    echo "Rendering the test job's page 1 at 2400 dpi into $2 ..."
    "$root/tools/render-testpage.sh" -r 2400 -l 1 ${3:+-s "$3"} -p "$root/tools/testpages/proof-job.ps" -j "$1" \
      -w "$build/tools/pgbwrite/pgbwrite" "$2" >/dev/null
  fi
}
render 1 "$build/bench-data/mastering-a4"
render 2 "$build/bench-data/mastering-a3" "842 1191"
echo "cores: $(nproc)"
echo "== A4"
"$build/bench/mastering_bench" "$build/bench-data/mastering-a4" "$repeats"
echo "== A3"
"$build/bench/mastering_bench" "$build/bench-data/mastering-a3" "$repeats"

#!/usr/bin/env bash
# Tiling and overview benchmark: renders page 1 of the test job at 2400 dpi on
# A4 and on A3 (as bench/mastering.sh does, kept in build/bench-data/), masters
# each once (build/bench-data/tiling/), then cuts the five zoom levels and the
# overview beside vips dzsave and vipsthumbnail of the same master.
# Usage: bench/tiling.sh [BUILD] [REPEATS]   (default build, 1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${1:-build}
repeats=${2:-1}
cmake --build "$build" --target tiling_bench pgbwrite station_data >/dev/null
render() {  # job folder [size]
  if [ ! -f "$2/$1-1-Black.pgb" ]; then
    echo "Rendering the test job's page 1 at 2400 dpi into $2 ..."
    "$root/tools/render-testpage.sh" -r 2400 -l 1 ${3:+-s "$3"} -p "$root/tools/testpages/proof-job.ps" -j "$1" \
      -w "$build/tools/pgbwrite/pgbwrite" "$2" >/dev/null
  fi
}
master() {  # page buffer folder, master
  [ -f "$2" ] || "$build/bench/tiling_bench" master "$1" "$2"
}
render 1 "$build/bench-data/mastering-a4"
render 2 "$build/bench-data/mastering-a3" "842 1191"
master "$build/bench-data/mastering-a4" "$build/bench-data/tiling/master-a4.tif"
master "$build/bench-data/mastering-a3" "$build/bench-data/tiling/master-a3.tif"
echo "cores: $(nproc)"
for size in a4 a3; do
  echo "== ${size^^}"
  # vips reports the palette it reads as an assumption; nothing to act on.
  "$build/bench/tiling_bench" run "$build/bench-data/tiling/master-$size.tif" 2400 "$repeats" 2>&1 |
    grep -v -e "assuming 8-bit palette" -e '^$'
done

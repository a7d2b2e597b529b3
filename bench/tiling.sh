#!/usr/bin/env bash
# Tiling and overview benchmark on two pages: page 1 of the test job (whose
# default screen repeats exactly) and the screened page (rotated 150 lpi AM
# screens, like a real offset job), each at 2400 dpi on A4 and on A3 (as
# bench/mastering.sh renders them, kept in build/bench-data/). Masters each
# once (build/bench-data/tiling/), then cuts the five zoom levels and the
# overview beside vips dzsave and vipsthumbnail of the same master.
# Usage: bench/tiling.sh [BUILD] [REPEATS]   (default build, 1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${1:-build}
repeats=${2:-1}
cmake --build "$build" --target tiling_bench pgbwrite station_data >/dev/null
source "$root/bench/bench-pages.sh"
master() {  # page buffer folder, master
  [ -f "$2" ] || "$build/bench/tiling_bench" master "$1" "$2"
}
render_bench_pages
for page in "${bench_pages[@]}"; do
  master "$build/bench-data/mastering-$page" "$build/bench-data/tiling/master-$page.tif"
done
echo "cores: $(nproc)"
for page in "${bench_pages[@]}"; do
  echo "== ${page^^}"
  # vips reports the palette it reads as an assumption; nothing to act on.
  "$build/bench/tiling_bench" run "$build/bench-data/tiling/master-$page.tif" 2400 "$repeats" 2>&1 |
    grep -v -e "assuming 8-bit palette" -e '^$'
done
# Comparing two rounds of a page against decoding both of their masters: the
# master against itself, once as it is and once with every pixel looked at.
for page in "${bench_pages[@]}"; do
  echo "== compare ${page^^}"
  "$build/bench/tiling_bench" compare "$build/bench-data/tiling/master-$page.tif" \
    "$build/bench-data/tiling/master-$page.tif" "$repeats"
done
# The change map of a corrected rectangle of the screened A4 page (and of
# the page changed all over), timed with the compare that feeds it, its
# bytes against those of the page's proof tiles.
echo "== change map SCREENED-A4"
"$build/bench/tiling_bench" changes "$build/bench-data/tiling/master-screened-a4.tif" 2400 "$repeats"

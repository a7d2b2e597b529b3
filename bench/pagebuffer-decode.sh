#!/usr/bin/env bash
# Page buffer decoding benchmark: renders the test page at 2400 dpi (A4) into
# screened separations with Ghostscript, writes them as compressed page
# buffers with pgbwrite (kept in build/bench-data/ between runs), and decodes
# each plate with pgb_decode_bench beside memcpy.
# Usage: bench/pagebuffer-decode.sh [BUILD]   (default build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/${1:-build}
data=$build/bench-data/2400dpi
cmake --build "$build" --target pgb_decode_bench pgbwrite >/dev/null
if [ ! -f "$data/1-1-Black.pgb" ]; then
  echo "Rendering the test page at 2400 dpi ..."
  "$root/tools/render-testpage.sh" -r 2400 -w "$build/tools/pgbwrite/pgbwrite" "$data" >/dev/null
fi
for plate in "$data"/1-1-*.pgb; do
  echo "== $(basename "$plate")"
  "$build/bench/pgb_decode_bench" "$plate" 5
done

# The pages the imaging benchmarks measure, rendered once at 2400 dpi into
# $build/bench-data/mastering-PAGE/ (sourced by bench/*.sh; needs root and build).
#   a4, a3:                   page 1 of the test job, whose default screen repeats exactly
#   screened-a4, screened-a3: the screened page, rotated AM screens as in a real job
bench_pages=(a4 a3 screened-a4 screened-a3)

render_bench_page() {  # page file, job number, folder [medium size in points]
  if [ ! -f "$3/$2-1-Black.pgb" ]; then
    echo "Rendering page 1 of $(basename "$1") at 2400 dpi into $3 ..."
    "$root/tools/render-testpage.sh" -r 2400 -l 1 ${4:+-s "$4"} -p "$1" -j "$2" \
      -w "$build/tools/pgbwrite/pgbwrite" "$3" >/dev/null
  fi
}

render_bench_pages() {
  local pages=$root/tools/testpages
  render_bench_page "$pages/proof-job.ps" 1 "$build/bench-data/mastering-a4"
  render_bench_page "$pages/proof-job.ps" 2 "$build/bench-data/mastering-a3" "842 1191"
  render_bench_page "$pages/screened-job.ps" 3 "$build/bench-data/mastering-screened-a4"
  render_bench_page "$pages/screened-job.ps" 4 "$build/bench-data/mastering-screened-a3" "842 1191"
}

#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 30),
# starting from the corpus kept in fuzz/corpus/. Fails when a target finds a
# crash; the crashing input is left in build-fuzz/artifacts/.
# Usage: fuzz/run-fuzzers.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(pgb_reader_fuzzer band_decoder_fuzzer definition_fuzzer settings_fuzzer answers_fuzzer)

if [ ! -f build-fuzz/build.ninja ]; then
  # The compiler cache as tools/configure-build.sh sets it: shared by every clone.
  root=$(pwd -P)
  launcher=()
  command -v ccache >/dev/null &&
    launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=/usr/bin/env;CCACHE_BASEDIR=$root;CCACHE_NOHASHDIR=1;$(command -v ccache)"
              "-DCMAKE_CXX_FLAGS=-fdebug-prefix-map=$root=.")
  CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
# The build's output only when it fails: a broken target must not pass unseen.
build_log=$(cmake --build build-fuzz -j 2 2>&1) || { echo "$build_log" | tail -n 40; echo "the fuzz targets do not build" >&2; exit 1; }

mkdir -p build-fuzz/artifacts
# Runs one target for its time; its log goes to build-fuzz/TARGET.log.
fuzz() {
  local target=$1
  local seeds=fuzz/corpus/${target%_fuzzer}
  # New inputs go to a scratch corpus; the kept corpus stays small.
  local scratch=build-fuzz/corpus/${target%_fuzzer}
  mkdir -p "$scratch"
  local dictionary=fuzz/${target%_fuzzer}.dict
  [ -f "$dictionary" ] || dictionary=fuzz/pgb.dict
  build-fuzz/$target "$scratch" "$seeds" -dict="$dictionary" -max_total_time="$seconds" \
    -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 -rss_limit_mb=2048 2>build-fuzz/$target.log
}

# One target per core at a time: each still runs its full time on a core of its own.
cores=$(nproc)
failed=()
for ((first = 0; first < ${#targets[@]}; first += cores)); do
  batch=("${targets[@]:first:cores}")
  pids=()
  for target in "${batch[@]}"; do
    echo "== $target for $seconds s"
    fuzz "$target" &
    pids+=($!)
  done
  for index in "${!batch[@]}"; do
    target=${batch[$index]}
    if wait "${pids[$index]}"; then
      echo "$target:" $(grep -E "stat::number_of_executed_units|Done" build-fuzz/$target.log | tail -n 2)
    else
      tail -n 60 build-fuzz/$target.log
      echo "$target found a fault" >&2
      failed+=("$target")
    fi
  done
done
[ ${#failed[@]} -eq 0 ]

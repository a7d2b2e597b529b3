#!/usr/bin/env bash
# Configures a build folder once: tools/configure-build.sh FOLDER [cmake options]
set -euo pipefail
folder=$1
shift
root=$(cd "$(dirname "$0")/.." && pwd -P)
launcher=()
# ccache sees paths relative to the source root and leaves the build folder
# out of its key, so a clone in another folder reuses what any clone compiled;
# the prefix map keeps those objects' debug paths relative too.
if command -v ccache >/dev/null; then
  ccache=(/usr/bin/env CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1 "$(command -v ccache)")
  launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=$(IFS=';'; echo "${ccache[*]}")"
            "-DCMAKE_C_COMPILER_LAUNCHER=$(IFS=';'; echo "${ccache[*]}")"
            "-DCMAKE_CXX_FLAGS=-fdebug-prefix-map=$root=."
            "-DCMAKE_C_FLAGS=-fdebug-prefix-map=$root=.")
fi
if [ ! -f "$folder/build.ninja" ]; then
  cmake -S "$root" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@"
fi

#!/usr/bin/env bash
# Makes the built-in CMYK source profile data/builtin/swop-tr003.icc with
# ArgyllCMS colprof (Debian "argyll") from the SWOP characterization data
# TR003.ti3 of Debian's icc-profiles-free. The profile is committed; run this
# only to remake it. Usage: tools/make-builtin-profile.sh [OUTPUT.icc]
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-data/builtin/swop-tr003.icc}
data=/usr/share/color/icc/TR003.ti3

for need in colprof:argyll "$data":icc-profiles-free; do
  if [ ! -e "${need%%:*}" ] && ! command -v "${need%%:*}" >/dev/null; then
    echo "missing ${need%%:*}: install the Debian package ${need##*:}" >&2
    exit 1
  fi
done

# The data's own terms (in TR003.ti3) allow profiles made from it to be
# distributed freely as long as the technical report is named as the source.
description="SWOP Grade 3 coated CMYK, from ANSI/CGATS/SWOP TR 003-2007 data"
copyright="Characterization data: ANSI/CGATS/SWOP TR 003-2007, Copyright 2007 NPES \
(profiles based on these data may be distributed with no further permissions from CGATS). \
Data file TR003.ti3 from Debian icc-profiles-free, Zlib licence. Profile made with ArgyllCMS colprof."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$data" "$work/swop.ti3"
# Medium quality, a low-quality reverse table (the station only ever reads
# CMYK through this profile) and no copy of the measurements inside keep it small.
(cd "$work" && colprof -qm -bl -nc -D "$description" -C "$copyright" swop)
mkdir -p "$(dirname "$output")"
cp "$work/swop.icc" "$output"
echo "wrote $output ($(stat -c %s "$output") bytes)"

#!/usr/bin/env bash
# Renders a PostScript test page (or a job of several pages) into 1-bit
# screened separations with Ghostscript's tiffsep1 device (as a RIP would) and
# writes one compressed page buffer per separation with pgbwrite. Spot inks
# (Separation colour spaces) get their CMYK appearance as the device reports
# it as their colour values.
# Usage: tools/render-testpage.sh [-r DPI] [-p PAGE.ps] [-j JOB] [-w PGBWRITE]
#        [-l LASTPAGE] [-s "WIDTH HEIGHT"] OUTDIR
# -l renders pages up to LASTPAGE only; -s fits the pages to a medium of that
# size in points (842 1191 for A3).
# Writes OUTDIR/<job>-<page>-<Colorant>.pgb for every page and separation.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dpi=600
page=$root/tools/testpages/proof-page.ps
job=1
pgbwrite=$root/build/tools/pgbwrite/pgbwrite
extra=()
while getopts "r:p:j:w:l:s:" option; do
  case $option in
    r) dpi=$OPTARG ;;
    p) page=$OPTARG ;;
    j) job=$OPTARG ;;
    w) pgbwrite=$OPTARG ;;
    l) extra+=(-dLastPage="$OPTARG") ;;
    s) read -r width height <<<"$OPTARG"
       extra+=(-dDEVICEWIDTHPOINTS="$width" -dDEVICEHEIGHTPOINTS="$height" -dFIXEDMEDIA -dPSFitPage) ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || { echo "Usage: $0 [-r DPI] [-p PAGE.ps] [-j JOB] [-w PGBWRITE] [-l LASTPAGE] [-s \"W H\"] OUTDIR" >&2; exit 2; }
out=$1
mkdir -p "$out"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The device reports each spot ink as "%%SeparationName: NAME CMYK = [ c m y k ]"
# on its 0..32760 scale (on standard error).
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=tiffsep1 -r"$dpi" "${extra[@]}" -o "$scratch/page%d.tif" "$page" >"$scratch/gs.out" 2>&1 || { cat "$scratch/gs.out" >&2; exit 1; }
declare -A spot_values
while IFS= read -r line; do
  case $line in
    "%%SeparationName: "*" CMYK = ["*)
      spot=${line#%%SeparationName: }; spot=${spot% CMYK = *}
      read -r -a cmyk <<<"${line#*[}"
      values=""
      for i in 0 1 2 3; do values+="${values:+,}$(( (cmyk[i] * 32767 + 16380) / 32760 ))"; done
      spot_values[$spot]=$values ;;
  esac
done <"$scratch/gs.out"

# Header colour values (cyan, magenta, yellow, black; 0..32767) of an ink.
color_values() {
  case $1 in
    Cyan) echo 32767,0,0,0 ;;
    Magenta) echo 0,32767,0,0 ;;
    Yellow) echo 0,0,32767,0 ;;
    Black) echo 0,0,0,32767 ;;
    *) echo "${spot_values[$1]:-0,0,0,0}" ;;
  esac
}

name=$(basename "$page" .ps)
for separation in "$scratch"/page*\(*\).tif; do
  base=$(basename "$separation" .tif)         # page1(Cyan)
  number=${base%%(*}; number=${number#page}   # 1
  colorant=${base#*(}; colorant=${colorant%)} # Cyan
  "$pgbwrite" --resolution "$dpi" --job-number "$job" --page-number "$number" \
    --job-name "$job.$name.ps" --color-name "${colorant^^}" --color-values "$(color_values "$colorant")" \
    "$separation" "$out/$job-$number-$colorant.pgb"
done
ls "$out"/"$job"-*.pgb

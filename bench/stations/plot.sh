#!/usr/bin/env bash
# Draws bench/stations.png from bench/stations/figures.txt (the RESULT lines of run.sh): the
# cycle's 99th percentile against the number of stations, one line per set-up.
#
#   bench/stations/plot.sh [FIGURES [PNG]]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
figures="${1:-$here/figures.txt}"
png="${2:-$here/../stations.png}"
bash "$here/../../scripts/install-bench-deps.sh"

data=$(mktemp)
trap 'rm -f "$data"' EXIT
# One block per set-up, in the order they first appear: N and p99.
for setup in $(grep -v '^#' "$figures" | awk '{print $1}' | awk '!seen[$0]++'); do
    echo "\"$setup\""
    awk -v s="$setup" '$1 == s {print $2, $5}' "$figures" | sort -n
    printf '\n\n'
done >"$data"

gnuplot <<GP
set terminal pngcairo size 900,560 font "DejaVu Sans,11"
set output "$png"
set title "Job cycle of many stations on one database, 2-core machine: 99th percentile"
set xlabel "stations (one cycle a second each)"
set ylabel "cycle p99 (ms)"
set logscale xy
set xrange [0.8:1300]
set yrange [0.5:20000]
set grid
set key top left
set arrow from 0.8,100 to 1300,100 nohead dashtype 2 linecolor rgb "#888888"
set label "100 ms" at 1.0,130 textcolor rgb "#666666"
plot for [i=0:*] "$data" index i using 1:2 with linespoints linewidth 2 pointtype 7 title columnheader(1)
GP
echo "plot.sh: wrote $png"

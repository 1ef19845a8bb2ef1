#!/usr/bin/env bash
# Whole-process rendering: anodix-plot drawing five 32 KB curve families with the
# dissipation limit into a 1600 x 1000 PNG, against gnuplot (pngcairo) drawing the same
# families and hyperbola at the same size, run alternately in one loop.
# Usage: bench_plotcli [RUNS]   (the build copies it next to anodix-plot)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
plot=${ANODIX_PLOT:-$here/anodix-plot}
script=${ANODIX_GNUPLOT_SCRIPT:-@ANODIX_BENCH_DIR@/plot5.gnuplot}
runs=${1:-20}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

if [ ! -x "$plot" ]; then
  echo "bench_plotcli: $plot not built; skipped"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Five triode families of ten curves (0 to -45 V grid), 32 KB each, in TDF lines.
files=()
for k in 1 2 3 4 5; do
  f=$work/family$k.tdf
  awk -v mu=$((3 * k + 5)) -v bytes=32768 'BEGIN {
    vmax = 400; K = 0.1 / (vmax / mu) ^ 1.5; n = 0
    for (g = 0; g > -50; g -= 5)
      for (v = 2.5; v <= vmax; v += 2.5) {
        d = v / mu + g; a = d > 0 ? K * d ^ 1.5 : 0
        line = sprintf("%.1f %.6f %.1f\r\n", v, a, g)
        if (n + length(line) > bytes) exit
        printf "%s", line; n += length(line)
      }
  }' > "$f"
  files+=("$f")
done
size=$(stat -c %s "${files[0]}")
args=(--vdiv 50 --madiv 10 --pd 25 --size 1600x1000)

# Each run timed by the shell: wall, user and system seconds, one line per run.
TIMEFORMAT='%3R %3U %3S'
have_gnuplot=0
if command -v gnuplot > /dev/null; then have_gnuplot=1; fi

"$plot" "${args[@]}" -o "$work/warm.png" "${files[@]}"  # fills the caches for both
for ((i = 0; i < runs; i++)); do
  { time "$plot" "${args[@]}" -o "$work/anodix.png" "${files[@]}" ; } 2>> "$work/anodix.times"
  if [ $have_gnuplot = 1 ]; then
    { time gnuplot -e "out='$work/gnuplot.png'; files='${files[*]}'; vdiv=50; madiv=10; pd=25" "$script" ; } \
      2>> "$work/gnuplot.times"
  fi
done

# "W ms wall, C ms CPU": means over the runs.
means() { awk '{ w += $1; c += $2 + $3; n++ } END { printf "%.1f ms wall, %.1f ms CPU", 1000 * w / n, 1000 * c / n }' "$1"; }
echo "anodix-plot: 5 families of $size bytes + limit -> 1600x1000 PNG: $(means "$work/anodix.times") per run (mean of $runs whole runs)"
if [ $have_gnuplot = 1 ]; then
  echo "gnuplot $(gnuplot --version | awk '{print $2}') pngcairo, same families + hyperbola, 1600x1000: $(means "$work/gnuplot.times") per run (mean of $runs, alternated)"
  awk '{ w += $1; c += $2 + $3 } END { printf "anodix-plot / gnuplot: %.2f of the wall time (target at most 0.5), %.2f of the CPU time\n", aw / w, ac / c }' \
    aw="$(awk '{ w += $1 } END { print w }' "$work/anodix.times")" \
    ac="$(awk '{ c += $2 + $3 } END { print c }' "$work/anodix.times")" "$work/gnuplot.times"
else
  echo "gnuplot not installed: comparison skipped"
fi

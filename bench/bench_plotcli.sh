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

# Each figure: the mean wall time of one whole run in milliseconds.
now() { date +%s%N; }
have_gnuplot=0
if command -v gnuplot > /dev/null; then have_gnuplot=1; fi

"$plot" "${args[@]}" -o "$work/warm.png" "${files[@]}"  # fills the caches for both
anodix_ns=0
gnuplot_ns=0
for ((i = 0; i < runs; i++)); do
  t0=$(now)
  "$plot" "${args[@]}" -o "$work/anodix.png" "${files[@]}"
  t1=$(now)
  anodix_ns=$((anodix_ns + t1 - t0))
  if [ $have_gnuplot = 1 ]; then
    t0=$(now)
    gnuplot -e "out='$work/gnuplot.png'; files='${files[*]}'; vdiv=50; madiv=10; pd=25" "$script"
    t1=$(now)
    gnuplot_ns=$((gnuplot_ns + t1 - t0))
  fi
done

ms() { awk -v ns="$1" -v n="$runs" 'BEGIN { printf "%.1f", ns / n / 1e6 }'; }
echo "anodix-plot: 5 families of $size bytes + limit -> 1600x1000 PNG: $(ms $anodix_ns) ms per run (mean of $runs whole runs)"
if [ $have_gnuplot = 1 ]; then
  echo "gnuplot $(gnuplot --version | awk '{print $2}') pngcairo, same families + hyperbola, 1600x1000: $(ms $gnuplot_ns) ms per run (mean of $runs, alternated)"
  awk -v a=$anodix_ns -v g=$gnuplot_ns 'BEGIN { printf "anodix-plot / gnuplot wall time: %.2f (target at most 0.50)\n", a / g }'
else
  echo "gnuplot not installed: comparison skipped"
fi

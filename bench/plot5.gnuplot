# Five curve families and the dissipation limit drawn by gnuplot, as anodix-plot draws
# them, for the whole-process comparison in bench_plotcli:
#   gnuplot -e "out='plot.png'; files='a.tdf b.tdf c.tdf d.tdf e.tdf'; vdiv=50; madiv=10; pd=25" plot5.gnuplot
# The files hold "volts amperes grid" lines; a new grid voltage starts a new curve.
set terminal pngcairo size 1600,1000 font "Sans,8"
set output out
set xrange [0:8*vdiv]
set yrange [0:8*madiv]
set xtics vdiv
set ytics madiv
set grid xtics ytics lc rgb "#008000" lt 1 lw 1
set border lc rgb "#008000"
unset key
set samples 1600
colours = "#0000ff #c04000 #008000 #800080 #808000"
prev = 1e30
# Milliamperes, with an undefined point (a break in the line) where the grid changes.
ma(g, a) = (g != prev) ? (prev = g, NaN) : a * 1000
plot for [k=1:words(files)] word(files, k) using 1:(ma($3, $2)) with lines lw 2 lc rgb word(colours, k), \
     pd * 1000 / x with lines lw 1 lc rgb "#ff0000"

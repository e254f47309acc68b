# Draws the renderer's CSV of the programs' responses: one panel per program
# with a centred source's level, and one with what a hard-panned source gets.
# gnuplot -e "csv='presets.csv'; png='presets.png'" presets.gp
set datafile separator ","
set terminal pngcairo size 1200,1060 font "sans,11" linewidth 1
set output png

programs = 4
rate = 44100.0
array Name[programs]
array Direct[programs]
array Cross[programs]
array Delay[programs]
# Table 2 holds, per program, the direct and the cross impulse response:
# one tap each, at sample 0 and at the cross delay.
do for [p = 1:programs] {
    stats csv index 1 using (column(2 * p)) nooutput
    Direct[p] = STATS_max
    stats csv index 1 using (column(2 * p + 1)) nooutput
    Cross[p] = STATS_max
    stats csv index 1 using (column(2 * p + 1) != 0 ? $1 : NaN) nooutput
    Delay[p] = STATS_min
}
# The programs' names, from the CSV's header line.
do for [p = 1:programs] {
    Name[p] = system(sprintf("awk -F, '/^frequency_hz,/ { print $%d; exit }' '%s'", p + 1, csv))
}
db(x) = 20 * log10(x)

set multiplot title "Crossfeed programs through the module at 44.1 kHz" font "sans,14"
# Four panels of a centred mono source (left = right): the cross term adds
# to the direct one and comb-filters, with notches every rate / delay Hz.
set logscale x 10
set xrange [20:20000]
set xtics ("20" 20, "50" 50, "100" 100, "200" 200, "500" 500, "1k" 1000, "2k" 2000, "5k" 5000, "10k" 10000, "20k" 20000)
set grid xtics ytics
set ylabel "Level (dB)"
set xlabel "Frequency (Hz)"
unset key
colours = "#1f77b4 #d62728 #2ca02c #9467bd"
do for [p = 1:programs] {
    set origin ((p - 1) % 2) * 0.5, 0.93 - 0.31 * ((p - 1) / 2 + 1)
    set size 0.5, 0.31
    floor = db(Direct[p] - Cross[p])
    set yrange [floor - 0.6 : 0.4]
    ystep = floor < -4 ? 1 : 0.5
    set ytics ystep
    spacing = rate / Delay[p]
    set title sprintf("%d: %s, a centred source\nnotches every %.0f Hz (cross delay %d samples, %.2f ms)", \
        p - 1, Name[p], spacing, Delay[p], 1000 * Delay[p] / rate) noenhanced
    plot csv index 0 using 1:(column(p + 1)) with lines linewidth 1.6 linecolor rgb word(colours, p) notitle
}

# A hard-panned source: the near ear hears the direct level, the far ear
# the cross level, later by the delay.
unset logscale x
set origin 0, 0
set size 1, 0.31
set title "A hard-panned source (one input only): level at the near ear (direct) and the far ear (cross)"
set xrange [0.4 : programs + 0.6]
set yrange [-24 : 0]
set ytics 3
set xlabel ""
set ylabel "Level (dB)"
set grid noxtics ytics
set style fill solid 0.8 border -1
set boxwidth 0.3
set xtics () nomirror
do for [p = 1:programs] {
    set xtics add (sprintf("%d: %s", p - 1, Name[p]) p)
}
set key bottom left opaque box
plot Direct using ($1 - 0.17):(db(Direct[$1])) with boxes linecolor rgb "#4c72b0" title "direct (near ear)", \
     Cross using ($1 + 0.17):(db(Cross[$1])) with boxes linecolor rgb "#dd8452" title "cross (far ear)", \
     Direct using ($1 - 0.17):(db(Direct[$1])):(sprintf("%.1f dB", db(Direct[$1]))) with labels offset 0,-0.8 notitle, \
     Cross using ($1 + 0.17):(db(Cross[$1])):(sprintf("%.1f dB after %.2f ms", db(Cross[$1]), 1000 * Delay[$1] / rate)) \
         with labels offset 0,-0.8 notitle
unset multiplot

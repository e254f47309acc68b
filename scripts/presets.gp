# Draws the renderer's CSV of the programs' responses: one panel per program
# with a centred source's level at 44.1 and 48 kHz, and one with what a
# hard-panned source gets. Every number written comes from the CSV.
# gnuplot -e "csv='presets.csv'; png='presets.png'" presets.gp
set datafile separator ","
set terminal pngcairo size 1200,1600 font "sans,11" linewidth 1
set output png

programs = 4
# A field of the CSV's last table (each program in numbers), by its name.
field(p, name) = system(sprintf("awk -F, -v p=%d -v n='%s' '/^program,/ { for (i = 1; i <= NF; i++) c[$i] = i; r = 0; next } c[n] && NF && r++ == p - 1 { print $(c[n]); exit }' '%s'", p, name, csv))
number(p, name) = field(p, name) + 0
heard(p) = sprintf("%s samples = %s ms at 44.1 kHz, %s ms at 48 kHz", field(p, "delay_samples"), \
                   field(p, "delay_ms_44100"), field(p, "delay_ms_48000"))

colours = "#1f77b4 #d62728 #2ca02c #9467bd"
pale = "#aec7e8 #ff9896 #98df8a #c5b0d5"
# The comb is drawn where its notches lie at least this far apart on
# screen; above, the lines it swings between and its average.
panel_pixels = 1050.0
least_pixels = 9.0
floor_db = -7
row = 0.178
set multiplot title "Crossfeed programs through the module: a centred source (left = right) at 44.1 kHz (solid) and 48 kHz (dashed)" font "sans,13"
set logscale x 10
set xrange [20:20000]
set yrange [floor_db : 0.5]
set ytics 1
set xtics ("20" 20, "50" 50, "100" 100, "200" 200, "500" 500, "1k" 1000, "2k" 2000, "5k" 5000, "10k" 10000, "20k" 20000)
set grid xtics ytics
set ylabel "Level (dB)"
set xlabel "Frequency (Hz)" offset 0,0.6
unset key
do for [p = 1:programs] {
    set origin 0, 0.965 - row * p
    set size 1, row
    notch = number(p, "notch_db")
    notch_at = number(p, "first_notch_hz_44100")
    spacing = number(p, "notch_every_hz_44100")
    average = number(p, "average_db")
    band = spacing * panel_pixels / (least_pixels * log(1000.0))
    set title sprintf("%d: %s: the module shows %s %% and %s ms; the delay heard is %s", p - 1, \
        field(p, "program"), field(p, "level_shown"), field(p, "delay_shown_ms"), heard(p)) noenhanced
    unset label
    unset arrow
    set arrow 1 from notch_at * 1.2, notch - 0.5 to notch_at * 1.01, notch - 0.06 head size screen 0.006,25 \
        linecolor rgb "black"
    set label 1 sprintf("first notch %s Hz, %s dB (%s Hz at 48 kHz)", field(p, "first_notch_hz_44100"), \
        field(p, "notch_db"), field(p, "first_notch_hz_48000")) at notch_at * 1.22, notch - 0.55 left front noenhanced
    set label 2 sprintf("%s dB at 20 Hz (%s dB at 48 kHz)", field(p, "level_20hz_db_44100"), \
        field(p, "level_20hz_db_48000")) at 22, floor_db + 0.55 left front noenhanced
    set label 3 sprintf("above %.1f kHz: a notch every %s Hz (%s Hz at 48 kHz) between the dotted lines; average %s dB", \
        band / 1000, field(p, "notch_every_hz_44100"), field(p, "notch_every_hz_48000"), field(p, "average_db")) \
        at 19000, floor_db + 0.55 right front noenhanced
    plot sample [band : 20000] '+' using 1:(notch) with lines dashtype 3 linewidth 1.6 linecolor rgb word(colours, p), \
         [band : 20000] '+' using 1:(0) with lines dashtype 3 linewidth 1.6 linecolor rgb word(colours, p), \
         [band : 20000] '+' using 1:(average) with lines linewidth 2.4 linecolor rgb word(colours, p), \
         csv index 2 using 1:($1 <= band ? column(p + 1) : NaN) with lines linewidth 1.4 dashtype 2 \
             linecolor rgb word(pale, p), \
         csv index 0 using 1:($1 <= band ? column(p + 1) : NaN) with lines linewidth 1.8 \
             linecolor rgb word(colours, p)
}
unset label
unset arrow

# A hard-panned source: the near ear hears the direct level, the far ear
# the cross level, later by the delay.
unset logscale x
set origin 0, 0.05
set size 1, 0.21
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
    set xtics add (sprintf("%d: %s", p - 1, field(p, "program")) p)
}
set label 1 "The cross path is full-band: the far ear gets every frequency of the other channel, only quieter and later. A centred source adds the two paths,\nwhich makes the comb above: its first notch at rate / (2 x delay), then one every rate / delay. Measured through the module by crossfeed-render --response." \
    at screen 0.02, screen 0.03 left font "sans,10" noenhanced
set key bottom left opaque box
plot for [p = 1:programs] '+' using (p - 0.17):(number(p, "direct_db")) every ::0::0 with boxes \
         linecolor rgb "#4c72b0" title (p == 1 ? "direct (near ear)" : ""), \
     for [p = 1:programs] '+' using (p + 0.17):(number(p, "cross_db")) every ::0::0 with boxes \
         linecolor rgb "#dd8452" title (p == 1 ? "cross (far ear)" : ""), \
     for [p = 1:programs] '+' using (p - 0.17):(number(p, "direct_db")):(sprintf("%s dB", field(p, "direct_db"))) \
         every ::0::0 with labels offset 0,-0.8 notitle, \
     for [p = 1:programs] '+' using (p + 0.17):(number(p, "cross_db")):(sprintf("%s dB, %s samples later", \
         field(p, "cross_db"), field(p, "delay_samples"))) every ::0::0 with labels offset 0,-0.8 notitle
unset multiplot

# Draws the programs' centred-source responses from the renderer's CSV.
# gnuplot -e "csv='presets.csv'; png='presets.png'" presets.gp
set datafile separator ","
set terminal pngcairo size 1100,620 font "sans,11" linewidth 1
set output png
set title "Crossfeed programs: a centred mono source (left = right) through the module at 44.1 kHz"
set xlabel "Frequency (Hz)"
set ylabel "Level (dB)"
set logscale x 10
set xrange [20:20000]
set yrange [-6:1]
set xtics ("20" 20, "50" 50, "100" 100, "200" 200, "500" 500, "1k" 1000, "2k" 2000, "5k" 5000, "10k" 10000, "20k" 20000)
set ytics 1
set grid xtics ytics
set key bottom left opaque box
plot for [column=2:5] csv index 0 using 1:column with lines linewidth 1.5 title columnheader(column)

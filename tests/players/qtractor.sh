#!/bin/sh
# Qtractor's plug-in scanner, fed the VST module and the LADSPA plug-in as
# Qtractor feeds it: each is "Crossfeed" with 2 audio inputs and 2 outputs,
# no MIDI, 2 parameters, real-time capable; the module by its identifier.
. "$(dirname "$0")/common.sh"
scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
[ -x "$scanner" ] || skip "$scanner is not installed (make check INSTALL_TEST_HOSTS=1 installs qtractor)"
# scan KIND FILE EXPECTED: the scanner's line for the file, its path left out.
scan() {
    echo "$1:$2" | bounded "$scanner" >"$work/scan.log" 2>&1 || { show "$work/scan.log"; fail "the scanner failed on $2"; }
    found=$(grep "^$1|" "$work/scan.log" | cut -d'|' -f1-6)
    echo "$host: $1 $2: $found"
    [ "$found" = "$3" ] || { show "$work/scan.log"; fail "$1 scan: expected $3"; }
}
scan VST "$module" "VST|Crossfeed|2:2|0:0|2:0|RT"
grep -q '^VST|.*|0|0x5a6d7972$' "$work/scan.log" || fail "the module's identifier is not Zmyr (0x5a6d7972)"
scan LADSPA "$ladspa" "LADSPA|Crossfeed|2:2|0:0|2:0|RT"

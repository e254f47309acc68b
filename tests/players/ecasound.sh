#!/bin/sh
# ecasound's LV2 (-elv2:URI,...) and LADSPA (-el:LABEL,...) chain operators,
# rendering float. ecasound sets a parameter left out to 0, not to its
# default, so both are always given. Compared with the module's rendering,
# bit for bit, for each program and more.
. "$(dirname "$0")/common.sh"
need ecasound
export LV2_PATH="$lv2_path" LADSPA_PATH="$ladspa_path"
"$tool" input "$work/in.wav" 44100 20000 0 0
case $host in
ecasound-lv2) operator=-elv2:$uri ;;
ecasound-ladspa) operator=-el:crossfeed ;;
*) fail "unknown form" ;;
esac
render() {
    bounded ecasound -q -f:f32_le,2,44100 -i "$1" -o "$2" "$operator,$3,$4" >"$work/ecasound.log" 2>&1 ||
        { show "$work/ecasound.log"; fail "ecasound failed"; }
}
against_module

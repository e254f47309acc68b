#!/bin/sh
# Audacious, headless under its own D-Bus session, plays a file through its
# LADSPA effect into its file writer, as floats. The file it writes is the
# module's processing of the file, bit for bit.
. "$(dirname "$0")/common.sh"
need audacious dbus-run-session
config="$XDG_CONFIG_HOME/audacious"
audacious_run() {
    bounded dbus-run-session -- audacious -H -q "$@" >"$work/audacious.log" 2>&1 ||
        { show "$work/audacious.log"; fail "audacious failed"; }
}
# A first run with nothing to play writes the plug-in registry, and quits.
audacious_run
[ -f "$config/plugin-registry" ] || fail "audacious wrote no plug-in registry"
# The file writer the only output, and the LADSPA effect on.
awk '$1 ~ /^(input|output|effect|general|vis|transport|playlist|iface)$/ { kind = $1; path = $2 }
     $1 == "enabled" { if (path ~ /\/Output\/filewriter\.so$/ || path ~ /\/Effect\/ladspa\.so$/) $2 = 1
                       else if (kind == "output") $2 = 0 }
     { print }' "$config/plugin-registry" >"$work/registry"
grep -A9 -E '/(Output/filewriter|Effect/ladspa)\.so$' "$work/registry" | grep -c '^enabled 1$' | grep -qx 2 ||
    fail "the registry does not enable the file writer and the LADSPA effect"
cp "$work/registry" "$config/plugin-registry"
mkdir -p "$work/out"
controls=$(program_controls "Bedroom studio")
level=${controls% *} delay=${controls#* }
# Bit depth 0 is floating point.
cat >>"$config/config" <<CONFIG

[audacious]
output_bit_depth=0

[filewriter]
file_path=file://$work/out
fileext=0
filenamefromtags=FALSE
use_suffix=FALSE
save_original=FALSE
prependnumber=FALSE

[ladspa]
module_path=$ladspa_path
plugin_count=1
plugin0_path=$(basename "$ladspa")
plugin0_label=crossfeed
plugin0_controls=$level,$delay
CONFIG
"$tool" input "$work/in.wav" 44100 20000 0 0
reference "$work/in.wav" "$work/expected.wav" "$level" "$delay"
audacious_run "$work/in.wav"
printf '%s: LADSPA effect into the file writer: ' "$host"
"$tool" compare "$work/expected.wav" "$work/out/in.wav" 0

#!/bin/sh
# ALSA, for players without a sound server (MPD, aplay): the shipped
# asoundrc's "crossfeed" device in a private configuration, its output PCM
# replaced by a file. aplay plays a float file and a 16-bit one into it; what
# reaches the file, headerless float, is the module's processing of the
# samples as ALSA hands them over (16-bit samples become floats exactly),
# bit for bit. aplay pads the last period with silence.
. "$(dirname "$0")/common.sh"
need aplay
"$tool" input "$work/in.wav" 44100 20000 0 0
# One configuration, the shipped file with the plug-in's folder and the
# output of this test: nothing of the machine's own.
sed "s|\"/usr/local/lib/ladspa\"|\"$ladspa_path\"|" "$source_dir/alsa/crossfeed.asoundrc" >"$work/asound.conf"
grep -q "\"$ladspa_path\"" "$work/asound.conf" || fail "the plug-in folder is not in the file"
printf 'pcm.!crossfeed_output { type file slave.pcm { type null } file "%s" format raw }\n' "$work/out.f32" \
    >>"$work/asound.conf"
export ALSA_CONFIG_PATH="$work/asound.conf"
play() {  # play IN.wav LABEL
    bounded aplay -q -D crossfeed "$1" >"$work/aplay.log" 2>&1 || { show "$work/aplay.log"; fail "aplay failed"; }
    program_controls "Bedroom studio" | { read -r level delay; reference "$1" "$work/expected.wav" "$level" "$delay"; }
    printf '%s: aplay -D crossfeed, %s: ' "$host" "$2"
    "$tool" compare "$work/expected.wav" "$work/out.f32" 0 align
    rm -f "$work/out.f32" "$work/expected.wav"
}
play "$work/in.wav" "32-bit float"
"$tool" input "$work/in16.wav" 44100 20000 0 0 16
play "$work/in16.wav" "16-bit"

#!/bin/sh
# lv2file: lists the four programs as the plug-in's presets (-L), and renders
# a file with each preset chosen by its name (-P) and with control values
# given (-p). Compared with the module's rendering of the same program or
# values, bit for bit.
. "$(dirname "$0")/common.sh"
need lv2file
export LV2_PATH="$lv2_path"
"$tool" input "$work/in.wav" 44100 20000 0 0
bounded lv2file -L "$uri" >"$work/presets.log" 2>&1 || { show "$work/presets.log"; fail "lv2file -L failed"; }
sed -n 's/^Preset: //p' "$work/presets.log" | sort >"$work/listed"
"$describe" --controls | cut -f1 | sort >"$work/programs"
cmp -s "$work/listed" "$work/programs" || { show "$work/presets.log"; fail "lv2file -L does not list the four programs"; }
echo "$host: lv2file -L lists $(tr '\n' ',' <"$work/listed")"
"$describe" --controls | while IFS="$(printf '\t')" read -r name level delay; do
    reference "$work/in.wav" "$work/expected.wav" "$level" "$delay"
    bounded lv2file -i "$work/in.wav" -o "$work/out.wav" -P "$name" "$uri" >"$work/render.log" 2>&1 ||
        { show "$work/render.log"; fail "lv2file -P failed"; }
    printf '%s: preset "%s": ' "$host" "$name"
    "$tool" compare "$work/expected.wav" "$work/out.wav" 0
    rm -f "$work/out.wav" "$work/expected.wav"
done
render() {
    bounded lv2file -i "$1" -o "$2" -p "level:$3" -p "delay:$4" "$uri" >"$work/render.log" 2>&1 ||
        { show "$work/render.log"; fail "lv2file failed"; }
}
against_module

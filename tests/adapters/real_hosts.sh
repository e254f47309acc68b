#!/bin/sh
# One real host from Debian against the built plug-ins:
#   real_hosts.sh HOST WORK_FOLDER LV2_PATH LADSPA_FILE VST_MODULE AUDIO_TOOL LV2_DESCRIBE
# Each file it writes is inside its own fresh folder under WORK_FOLDER.
set -eu
host=$1 work=$2/$1 lv2_path=$3 ladspa=$4 module=$5 tool=$6 describe=$7
uri=urn:crossfeed:crossfeed
bundle=$lv2_path/crossfeed.lv2
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
bounded() { timeout -k 5 120 "$@"; }

# Each program's control values and a few others: "level delay" lines.
controls() {
    "$describe" --controls | cut -f2,3 | tr '\t' ' '
    printf '%s\n' "0.0 0.0" "100.0 0.5" "63.2 7.77"
}

"$tool" input "$work/in.wav" 44100 20000 0 0

# Runs "render OUT LEVEL DELAY" for each pair of controls and compares the
# result with the VST module's rendering within TOLERANCE.
against_module() {
    tolerance=$1
    controls | while read -r level delay; do
        "$tool" render "$module" "$work/in.wav" "$work/expected.wav" "$level" "$delay"
        render "$work/out.wav" "$level" "$delay"
        printf '%s %% %s ms: ' "$level" "$delay"
        "$tool" compare "$work/expected.wav" "$work/out.wav" "$tolerance"
        rm -f "$work/out.wav" "$work/expected.wav"
    done
}

case $host in
lv2_validate)
    # Its exit status says nothing: judge by what it prints.
    bounded lv2_validate "$bundle"/*.ttl >"$work/report" 2>&1 || true
    cat "$work/report"
    if grep -v '^Found 0 errors' "$work/report" | grep -qiE 'error|warn' || ! grep -q '^Found 0 errors' "$work/report"; then
        echo "lv2_validate reported problems" >&2; exit 1
    fi ;;
lv2info)
    LV2_PATH=$lv2_path bounded lv2info "$uri" >"$work/info"
    cat "$work/info"
    for symbol in in_left in_right out_left out_right level delay; do
        grep -q "Symbol: *$symbol\$" "$work/info" || { echo "no port $symbol" >&2; exit 1; }
    done
    [ "$(grep -o 'Symbol: *[a-z_]*' "$work/info" | tr -s ' ' | cut -d' ' -f2 | tr '\n' ' ')" = \
      "in_left in_right out_left out_right level delay " ] || { echo "ports out of order" >&2; exit 1; }
    grep -q 'Default: *30.000000' "$work/info" && grep -q 'Default: *2.089796' "$work/info"
    "$describe" --controls | cut -f1 | while read -r name; do
        grep -q "^[[:space:]]*$name\$" "$work/info" || { echo "no preset $name" >&2; exit 1; }
    done
    LV2_PATH=$lv2_path bounded lv2info -p "$work/ports.ttl" "$uri" >/dev/null
    grep -q 'units#pc' "$work/ports.ttl" && grep -q 'units#ms' "$work/ports.ttl" || { echo "units missing" >&2; exit 1; } ;;
lv2apply)
    render() { LV2_PATH=$lv2_path bounded lv2apply -i "$work/in.wav" -o "$1" -c level "$2" -c delay "$3" "$uri"; }
    against_module 0 ;;
analyseplugin)
    bounded analyseplugin "$ladspa" | tee "$work/report"
    grep -q 'Plugin Label: "crossfeed"' "$work/report"
    grep -q '"Level" input, control, 0 to 100' "$work/report"
    grep -q '"Delay" input, control, 0 to 11.61' "$work/report"
    [ "$(grep -c 'input, audio\|output, audio' "$work/report")" -eq 4 ] ;;
ffmpeg-ladspa)
    render() {
        bounded ffmpeg -nostdin -loglevel error -y -i "$work/in.wav" \
            -af "ladspa=file=$ladspa:plugin=crossfeed:controls=c0=$2|c1=$3" -c:a pcm_f32le "$1"
    }
    against_module 0 ;;
ffmpeg-lv2)
    render() {
        LV2_PATH=$lv2_path bounded ffmpeg -nostdin -loglevel error -y -i "$work/in.wav" \
            -af "lv2=plugin=$(echo "$uri" | sed 's/:/\\\\:/g'):controls=level=$2|delay=$3" -c:a pcm_f32le "$1"
    }
    against_module 0 ;;
sox)
    # sox carries samples as 32-bit integers between its effects; its
    # conversions back to float move a sample by at most one float step.
    render() { bounded sox -q "$work/in.wav" -e floating-point -b 32 "$1" ladspa "$ladspa" crossfeed "$2" "$3"; }
    against_module 5.97e-8 ;;
*)
    echo "unknown host $host" >&2; exit 2 ;;
esac

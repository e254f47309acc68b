#!/bin/sh
# mpv, as a listener's mpv.conf runs the plug-ins: an af= line with
# libavfilter's lv2 or ladspa filter, rendering float with --ao=pcm. Compared
# with the module's rendering, bit for bit, for each program and more, and
# for the line the README gives.
. "$(dirname "$0")/common.sh"
need mpv
export LV2_PATH="$lv2_path"
"$tool" input "$work/in.wav" 44100 20000 0 0
case $host in
# The URI's colons escaped for libavfilter and again for mpv's option parser,
# the same in mpv.conf as on the command line.
mpv-lv2) filter() { printf '%s' "lv2=plugin=urn\\\\:crossfeed\\\\:crossfeed:controls=level=$1|delay=$2"; } ;;
mpv-ladspa) filter() { printf '%s' "ladspa=file=$ladspa:plugin=crossfeed:controls=c0=$1|c1=$2"; } ;;
*) fail "unknown form" ;;
esac
mkdir -p "$work/mpv"
# mpv_render IN OUT: renders with the af= line in mpv.conf.
mpv_render() {
    bounded mpv --config-dir="$work/mpv" --really-quiet --no-video --ao=pcm --ao-pcm-file="$2" --audio-format=float \
        "$1" >"$work/mpv.log" 2>&1 || { show "$work/mpv/mpv.conf" "$work/mpv.log"; fail "mpv failed"; }
}
render() {
    printf 'af=lavfi=[%s]\n' "$(filter "$3" "$4")" >"$work/mpv/mpv.conf"
    mpv_render "$1" "$2"
}
against_module
# The README's mpv.conf line, as printed there.
[ "$host" = mpv-lv2 ] || exit 0
grep -m1 '^af=lavfi=\[lv2=' "$source_dir/README.md" >"$work/mpv/mpv.conf" || fail "no mpv.conf line in the README"
controls=$(program_controls "Bedroom studio")
reference "$work/in.wav" "$work/expected.wav" "${controls% *}" "${controls#* }"
mpv_render "$work/in.wav" "$work/out.wav"
printf '%s: the README'"'"'s mpv.conf line: ' "$host"
"$tool" compare "$work/expected.wav" "$work/out.wav" 0

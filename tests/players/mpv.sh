#!/bin/sh
# mpv, as a listener's mpv.conf runs the plug-ins: an af= line with
# libavfilter's lv2 or ladspa filter, rendering float with --ao=pcm. Compared
# with the module's rendering, bit for bit, for each program and more.
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
render() {
    printf 'af=lavfi=[%s]\n' "$(filter "$3" "$4")" >"$work/mpv/mpv.conf"
    bounded mpv --config-dir="$work/mpv" --really-quiet --no-video --ao=pcm --ao-pcm-file="$2" --audio-format=float \
        "$1" >"$work/mpv.log" 2>&1 || { show "$work/mpv/mpv.conf" "$work/mpv.log"; fail "mpv failed"; }
}
against_module

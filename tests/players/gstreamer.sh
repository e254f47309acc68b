#!/bin/sh
# GStreamer, as GStreamer-based players reach the plug-ins: its lv2 element
# (urn-crossfeed-crossfeed) or its ladspa one (ladspa-crossfeed-so-crossfeed)
# between two audioconverts, rendering a file with gst-launch-1.0. Compared
# with the module's rendering, bit for bit, for each program and more.
. "$(dirname "$0")/common.sh"
need gst-launch-1.0 gst-inspect-1.0
# A private registry: the plug-ins are found where the build put them.
export GST_REGISTRY="$work/registry.bin" LV2_PATH="$lv2_path" LADSPA_PATH="$ladspa_path"
case $host in
gstreamer-lv2) element=urn-crossfeed-crossfeed plugin=lv2 ;;
gstreamer-ladspa) element=ladspa-crossfeed-so-crossfeed plugin=ladspa ;;
*) fail "unknown form" ;;
esac
bounded gst-inspect-1.0 "$plugin" >/dev/null 2>&1 || skip "GStreamer has no $plugin plug-in (gstreamer1.0-plugins-bad)"
if ! bounded gst-inspect-1.0 "$element" >"$work/inspect.log" 2>&1; then
    # GStreamer says why it left the plug-in out only in its debug log.
    GST_DEBUG="$plugin:6" GST_DEBUG_NO_COLOR=1 GST_REGISTRY="$work/debug-registry.bin" bounded gst-inspect-1.0 "$element" 2>&1 |
        grep -i crossfeed | tail -n 5 >&2 || true
    fail "GStreamer did not register $element"
fi
"$tool" input "$work/in.wav" 44100 20000 0 0
render() {
    bounded gst-launch-1.0 -q filesrc location="$1" ! wavparse ! audioconvert ! \
        "$element" level="$3" delay="$4" ! audioconvert ! audio/x-raw,format=F32LE ! wavenc ! filesink location="$2"
}
against_module

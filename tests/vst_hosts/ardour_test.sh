#!/bin/sh
# Ardour 7 as a black box: its VST scanner records the native module's
# identity, and a headless session lists its programs and parameters.
#   ardour_test.sh MODULE.so WORK_FOLDER
set -u
module=$(realpath "$1")
work=$2
here=$(cd "$(dirname "$0")" && pwd)
failures=0

rm -rf "$work"
mkdir -p "$work/home" "$work/plugins"
work=$(realpath "$work")
# Ardour trusts a cache only if newer than the module, and stamps it to whole
# seconds: so the copy is dated a little in the past.
cp "$module" "$work/plugins/crossfeed.so"
touch -d "@$(($(date +%s) - 10))" "$work/plugins/crossfeed.so"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
       XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/home/run" TMPDIR="$work/tmp" \
       LXVST_PATH="$work/plugins" VST_PATH="$work/plugins"
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"

report() {  # report NAME STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: ardour $1"; else echo "FAIL: ardour $1"; failures=$((failures + 1)); fi
}

LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 60 /usr/lib/ardour7/ardour-vst-scanner -f "$work/plugins/crossfeed.so" \
    >"$work/scan.log" 2>&1
status=$?
cache=$(find "$XDG_CACHE_HOME/ardour7/vst" -name '*.v2i' 2>/dev/null | head -n 1)
if [ "$status" -eq 0 ] && [ -n "$cache" ]; then
    grep -o '<VST2Info [^>]*>' "$cache"
    for field in 'name="Crossfeed"' 'creator="The Crossfeed developers"' 'category="Effect"' \
                 'n_inputs="2"' 'n_outputs="2"' 'is_instrument="0"'; do
        grep -q "<VST2Info [^>]*$field" "$cache" || { echo "scanner cache lacks $field"; status=1; }
    done
    [ "$cache" -nt "$work/plugins/crossfeed.so" ] || { echo "scanner cache is not newer than the module"; status=1; }
else
    cat "$work/scan.log"
    status=1
fi
report "scanner records name, vendor and category" "$status"

SESSION_DIR="$work/session" timeout 120 ardour7-lua "$here/ardour_session.lua" </dev/null >"$work/session.log" 2>&1
status=$?
grep -E '^(plugin|preset|after|parameter|session|Error)' "$work/session.log"
grep -q '^session checks passed' "$work/session.log" || status=1
report "session lists program names and automatable parameters" "$status"

exit $((failures > 0))

#!/bin/sh
# LMMS as a real 32-bit Windows host: its wine-based VST server runs the
# 32-bit module in a track's effect chain while LMMS renders a hard-left
# click headless, once per program the project selects.
#   lmms_test.sh MODULE.dll WORK_FOLDER
set -u
module=$(realpath "$1")
work=$2
here=$(cd "$(dirname "$0")" && pwd)
failures=0

rm -rf "$work"
mkdir -p "$work/home"
work=$(realpath "$work")
# A 32-bit prefix: the host's server is a 32-bit program, and such a prefix
# is made in half the time and space.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
       XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/home/run" TMPDIR="$work/tmp" \
       WINEPREFIX="$work/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINESERVER
mkdir -p "$XDG_RUNTIME_DIR" "$TMPDIR" && chmod 700 "$XDG_RUNTIME_DIR"
# LMMS looks for VST plug-ins in its default folder under HOME.
mkdir -p "$HOME/Documents/lmms/plugins/vst"
cp "$module" "$HOME/Documents/lmms/plugins/vst/crossfeed.dll"
python3 "$here/click_wav.py" write "$work/click.wav"

# A wineserver left running makes the next render hang: wait for it to end.
end_wineserver() {
    timeout 60 wineserver -w || { echo "wineserver still running; stopping it"; wineserver -k; }
}

report() {  # report NAME STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: lmms $1"; else echo "FAIL: lmms $1"; failures=$((failures + 1)); fi
}

timeout 300 wineboot -i </dev/null >"$work/wineboot.log" 2>&1
status=$?
end_wineserver
report "wine prefix made" "$status"
[ "$status" -eq 0 ] || exit 1

# program, level, delay amount, name: the effect's own table. The delay is
# 512 samples times the amount, at most 511 (its ring's length less one).
while read -r program level amount name; do
    direct=$(python3 -c "print(1 - $level / 2)")
    cross=$(python3 -c "print($level / 2)")
    delay=$(python3 -c "import math; print(min(math.floor(512 * $amount), 511))")
    sed -e "s|@CLICK@|$work/click.wav|" -e "s|@PROGRAM@|$program|" "$here/click.mmp.in" >"$work/click-$program.mmp"
    out="$work/program-$program.wav"
    timeout -k 10 180 xvfb-run -a lmms --allowroot render "$work/click-$program.mmp" -o "$out" -f wav -a -x 1 \
        -i linear </dev/null >"$work/render-$program.log" 2>&1
    status=$?
    end_wineserver
    if grep -q 'could not be loaded' "$work/render-$program.log" || [ ! -s "$out" ]; then
        cat "$work/render-$program.log"
        status=1
    fi
    [ "$status" -eq 0 ] && { python3 "$here/click_wav.py" check "$out" "$direct" "$cross" "$delay" || status=1; }
    report "program $program ($name) renders its crossfeed" "$status"
done <<'PROGRAMS'
0 0.3 0.18 Bedroom studio
1 0.45 0.14 Lounge room
2 0.2 1.0 Big Head
3 0.25 0.1 Car stereo
PROGRAMS

# The prefix is large; a failed run keeps it for a look.
[ "$failures" -eq 0 ] && rm -rf "$WINEPREFIX"
exit $((failures > 0))

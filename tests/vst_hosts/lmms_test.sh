#!/bin/sh
# LMMS as a real 32-bit Windows host, set up and run by the README's recipes
# as typed: its wine-based VST server runs the 32-bit module in a track's
# effect chain while LMMS renders a hard-left click headless, once per
# program the project selects. A dry render (LMMS exits 0 without the
# effect when its server fails) is a failure.
#   lmms_test.sh MODULE.dll WORK_FOLDER
# Exits 0 when every check passes, 77 when LMMS cannot run here, else 1.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/recipe.sh"

# Measured there: a 32-bit wine start took a minute (and failed to map its
# shared user data), so the server never connected and each render was dry.
if "$here/../../scripts/enable-i386" --query; then
    echo "SKIP: lmms: 32-bit programs run here only under qemu-i386, where LMMS's VST server (32-bit wine)" \
         "cannot start within the 30 seconds LMMS waits for it, so every render would be dry;" \
         "this test runs wherever the kernel runs 32-bit programs"
    exit 77
fi

packages=$(readme_block lmms-packages | sed -n 's/.*apt-get install //p')
missing=
for package in $packages; do
    dpkg-query -W -f '${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "SKIP: lmms: not installed:$missing; make check INSTALL_TEST_HOSTS=1 installs them (lmms:i386 replacing a 64-bit lmms)"
    exit 77
fi

as_user=
if [ "$(id -u)" -eq 0 ]; then
    # LMMS refuses root, and the recipe is a user's: run it as uid 1000 of a
    # user namespace, which is still root outside, so every file stays ours.
    as_user="unshare --user --map-user=1000 --map-group=1000"
    if ! $as_user true 2>/dev/null; then
        echo "SKIP: lmms: LMMS refuses to run as root, and no user namespace can be made to run it as a user"
        exit 77
    fi
fi

module=$(realpath "$1")
work=$2
failures=0
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

# The recipe copies from dist/ in the repository's root.
repo="$work/repo"
mkdir -p "$repo/dist/win32"
cp "$module" "$repo/dist/win32/crossfeed.dll"
python3 "$here/click_wav.py" write "$work/click.wav"
private_home "$work"

# A wineserver left running makes the next render hang: wait for it to end.
end_wineserver() {
    timeout 60 $as_user wineserver -w || { echo "wineserver still running; stopping it"; $as_user wineserver -k; }
}
cleanup() {
    [ -d "$HOME/.wine" ] && $as_user wineserver -k 2>/dev/null
    drop_runtime
}
trap cleanup EXIT
trap 'exit 1' INT TERM

report() {  # report NAME STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: lmms $1"; else echo "FAIL: lmms $1"; failures=$((failures + 1)); fi
}

[ -n "$packages" ] || echo "README.md names no packages for LMMS"
limit=600; run_recipe lmms "$repo" </dev/null >"$work/recipe.log" 2>&1
status=$?
end_wineserver
[ -n "$packages" ] && [ -f "$HOME/.wine/system.reg" ] || status=1
[ "$status" -eq 0 ] || cat "$work/recipe.log"
report "README recipe runs as typed (module in LMMS's folder, wine prefix made)" "$status"
[ "$status" -eq 0 ] || exit 1

# program, level, delay amount, name: the effect's own table. The delay is
# 512 samples times the amount, at most 511 (its ring's length less one).
while read -r program level amount name; do
    direct=$(python3 -c "print(1 - $level / 2)")
    cross=$(python3 -c "print($level / 2)")
    delay=$(python3 -c "import math; print(min(math.floor(512 * $amount), 511))")
    sed -e "s|@CLICK@|$work/click.wav|" -e "s|@PROGRAM@|$program|" "$here/click.mmp.in" >"$repo/song.mmp"
    rm -f "$repo/song.wav"
    log="$work/render-$program.log"
    # LMMS itself sometimes crashes as it quits, after "Done" and after our
    # server is gone: that render is tried once more, saying so.
    for attempt in 1 2; do
        limit=180; run_recipe lmms-render "$repo" </dev/null >"$log" 2>&1
        status=$?
        end_wineserver
        [ "$status" -gt 128 ] && [ $attempt -eq 1 ] && grep -q '^Done' "$log" || break
        echo "LMMS ended by signal $((status - 128)) after rendering program $program; rendering it again"
        rm -f "$repo/song.wav"
    done
    [ -s "$repo/song.wav" ] || status=1
    # LMMS says so, yet exits 0 with a dry file.
    if grep -qE 'could not be loaded|did not connect|Socket path too long' "$log"; then
        echo "LMMS did not load the module"
        status=1
    fi
    [ "$status" -eq 0 ] || cat "$log"
    if [ -s "$repo/song.wav" ]; then
        mv "$repo/song.wav" "$work/program-$program.wav"
        python3 "$here/click_wav.py" check "$work/program-$program.wav" "$direct" "$cross" "$delay" || status=1
    fi
    report "program $program ($name) renders its crossfeed" "$status"
done <<'PROGRAMS'
0 0.3 0.18 Bedroom studio
1 0.45 0.14 Lounge room
2 0.2 1.0 Big Head
3 0.25 0.1 Car stereo
PROGRAMS

# The prefix is large; a failed run keeps it for a look.
[ "$failures" -eq 0 ] && rm -rf "$HOME/.wine"
exit $((failures > 0))

#!/bin/sh
# Ardour 7 as a black box, set up by the README's recipe as typed: its VST
# scanner records the native module's identity, and a headless session
# started from the recipe's shell lists its programs and parameters.
#   ardour_test.sh MODULE.so WORK_FOLDER
# Exits 0 when every check passes, 77 when Ardour is not installed, else 1.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/recipe.sh"

if ! command -v ardour7-lua >/dev/null || [ ! -x /usr/lib/ardour7/ardour-vst-scanner ]; then
    echo "SKIP: ardour: not installed; make check INSTALL_TEST_HOSTS=1 installs ardour"
    exit 77
fi

module=$(realpath "$1")
work=$2
failures=0
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
trap drop_runtime EXIT
trap 'exit 1' INT TERM

# The recipe copies from dist/ in the repository's root.
repo="$work/repo"
mkdir -p "$repo/dist/linux-x86_64"
cp "$module" "$repo/dist/linux-x86_64/crossfeed.so"
private_home "$work"

report() {  # report NAME STATUS
    if [ "$2" -eq 0 ]; then echo "PASS: ardour $1"; else echo "FAIL: ardour $1"; failures=$((failures + 1)); fi
}

# The session runs in the recipe's shell, as a user starts Ardour from it.
export SESSION_DIR="$work/session"
run_recipe ardour "$repo" \
    timeout 120 ardour7-lua "$here/ardour_session.lua" </dev/null >"$work/recipe.log" 2>&1
session=$?
recipe=0
[ "$session" -ne 3 ] || { recipe=1; cat "$work/recipe.log"; }
report "README recipe runs as typed" "$recipe"

status=1
cache=$(find "$XDG_CACHE_HOME/ardour7/vst" -name '*.v2i' 2>/dev/null | head -n 1)
installed="$HOME/.lxvst/crossfeed.so"
if [ -n "$cache" ] && [ -f "$installed" ]; then
    status=0
    grep -o '<VST2Info [^>]*>' "$cache"
    for field in 'name="Crossfeed"' 'creator="The Crossfeed developers"' 'category="Effect"' \
                 'n_inputs="2"' 'n_outputs="2"' 'is_instrument="0"'; do
        grep -q "<VST2Info [^>]*$field" "$cache" || { echo "scanner cache lacks $field"; status=1; }
    done
    # Else Ardour ignores the scan and finds no plug-in.
    [ "$cache" -nt "$installed" ] || { echo "scanner cache is not newer than the module"; status=1; }
    cmp -s "$installed" "$module" || { echo "the recipe installed another file"; status=1; }
    # What the README tells the user to look for.
    grep -q "Found Plugin: 'rymZ' Crossfeed" "$work/recipe.log" || { echo "scanner did not print the README's line"; status=1; }
fi
report "scanner records name, vendor and category" "$status"

status=$session
grep -E '^(plugin|preset|after|parameter|session|Error)' "$work/recipe.log"
grep -q '^session checks passed' "$work/recipe.log" || status=1
report "session lists program names and automatable parameters" "$status"

exit $((failures > 0))

#!/bin/sh
# Builds the project at 1.2.3, a version with every part non-zero, and
# checks that each interface says 1.2.3 in its own way:
#   version_test.sh SOURCE_FOLDER WORK_FOLDER CXX_COMPILER PROBE TOOLS
# TOOLS is ON where the build has the renderer (libsndfile and TagLib).
# The tree in WORK_FOLDER is kept, so a second run only rebuilds what changed.
set -eu
source=$1 work=$2 compiler=$3 probe=$4 tools=${5:-OFF}
version=1.2.3
tree=$work/tree
mkdir -p "$work"
# What the tree builds: every artefact that states the version, and no more.
targets="crossfeed crossfeed_lv2 crossfeed_clap"
[ "$tools" = ON ] && targets="$targets crossfeed-render crossfeed-render-manual"

build() {
    cmake -S "$source" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$compiler" \
        -DCROSSFEED_VERSION_OVERRIDE=$version -DCROSSFEED_TESTS=OFF -DCROSSFEED_TOOLS=$tools >"$work/build.log" 2>&1 &&
        cmake --build "$tree" -j 2 --target $targets >>"$work/build.log" 2>&1 ||
        { cat "$work/build.log" >&2; echo "the tree at $version does not build" >&2; exit 1; }
}

failed=0
check() {
    if [ "$2" = "$3" ]; then
        echo "$1: $3"
    else
        echo "$1: '$3', expected '$2'" >&2
        failed=1
    fi
}

build

# VST hosts read the vendor version digit by digit: 1230 is 1.2.3.0.
check "VST vendor version" 1230 "$("$probe" "$tree/bin/crossfeed.so")"

# CLAP hosts read the descriptor's version as it stands.
check "CLAP version" $version "$("$probe" "$tree/bin/crossfeed.clap")"

# The renderer says its own version and the module's, and so does the
# manual page built with it.
if [ "$tools" = ON ]; then
    said=$("$tree/bin/crossfeed-render" --module "$tree/bin/crossfeed.so" --version)
    check "crossfeed-render --version" "crossfeed-render $version" "$(printf '%s\n' "$said" | sed -n 1p)"
    check "the module's version by the renderer" "$version (1230)" "$(printf '%s\n' "$said" | sed -n 's/.*, version //p')"
    check "manual page" "crossfeed $version" \
        "$(sed -n 's/^\.TH [^"]*"[^"]*" "\([^"]*\)".*/\1/p' "$tree/bin/crossfeed-render.1")"
else
    echo "SKIP: renderer and manual page: this build has no tools (CROSSFEED_TOOLS=OFF)"
fi

# LV2 states the release, and counts it as minor.micro, even as a release's are.
if ! command -v sordi >/dev/null; then
    echo "SKIP: LV2 version: sordi (Debian package sordi) is not installed to read the bundle"
    exit $failed
fi
sordi "$tree/lib/lv2/crossfeed.lv2/crossfeed.ttl" >"$work/triples"
value() { grep -F "<urn:crossfeed:crossfeed> <$1> " "$work/triples" | sed 's/^[^ ]* [^ ]* "\([^"]*\)".*/\1/'; }
release=$(grep -F "<urn:crossfeed:crossfeed> <http://usefulinc.com/ns/doap#release> " "$work/triples" | cut -d' ' -f3)
check "LV2 release" $version "$(grep -F "$release <http://usefulinc.com/ns/doap#revision> " "$work/triples" |
    sed 's/^[^ ]* [^ ]* "\([^"]*\)".*/\1/')"
check "LV2 minor version" 24 "$(value http://lv2plug.in/ns/lv2core#minorVersion)"
check "LV2 micro version" 6 "$(value http://lv2plug.in/ns/lv2core#microVersion)"

exit $failed

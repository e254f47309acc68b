#!/bin/sh
# Builds the project at 1.2.3, a version with every part non-zero, and
# checks that each interface says 1.2.3 in its own way:
#   version_test.sh SOURCE_FOLDER WORK_FOLDER CXX_COMPILER PROBE
# The tree in WORK_FOLDER is kept, so a second run only rebuilds what changed.
set -eu
source=$1 work=$2 compiler=$3 probe=$4
version=1.2.3
tree=$work/tree
mkdir -p "$work"
# What the tree builds: every artefact that states the version, and no more.
targets="crossfeed crossfeed_lv2 crossfeed_clap"
tools=OFF

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

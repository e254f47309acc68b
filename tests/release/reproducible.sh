#!/bin/bash
# The same commit built twice, in two other folders at two different times
# (and under another time zone and umask), must give the same release
# files byte for byte; any file that differs is named.
#   reproducible.sh [COMMIT]
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
commit=$(git -C "$source_dir" rev-parse "${1:-HEAD}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

build_release() {  # FOLDER: clone the commit there and build its release files
    local folder=$1
    git clone -q --no-local "$source_dir" "$folder" && git -C "$folder" checkout -q --detach "$commit" || return 1
    # Only what goes into the release: the suites are not built here.
    make -C "$folder" --no-print-directory release-files > "$folder.log" 2>&1 ||
        { tail -30 "$folder.log" >&2; return 1; }
}

start=$(date +%s)
first=$work/first
second=$work/a-second-folder/whose/path/is/longer
mkdir -p "$(dirname "$second")"
build_release "$first" || { echo "FAIL: the first build failed" >&2; exit 1; }
(umask 002 && TZ=Pacific/Chatham build_release "$second") || { echo "FAIL: the second build failed" >&2; exit 1; }

differing=$(join -j 2 <(sort -k 2 "$first/dist/release/SHA256SUMS") <(sort -k 2 "$second/dist/release/SHA256SUMS") |
    awk '$2 != $3 { print $1 }')
only=$(diff <(awk '{ print $2 }' "$first/dist/release/SHA256SUMS" | sort) \
            <(awk '{ print $2 }' "$second/dist/release/SHA256SUMS" | sort) | grep '^[<>]')
echo "two release builds of $commit in $(( $(date +%s) - start )) s"
if [ -n "$differing$only" ]; then
    for file in $differing; do echo "FAIL: $file differs between the two builds" >&2; done
    [ -z "$only" ] || echo "FAIL: files in one build only: $only" >&2
    echo "reproducible: 0 passed, 1 failed"
    exit 1
fi
sed 's/^/  /' "$first/dist/release/SHA256SUMS"
echo "reproducible: 1 passed, 0 failed"

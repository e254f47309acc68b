#!/bin/bash
# The release files tested as users install them:
#   release_test.sh RELEASE-DIR BUILD-DIR
# The zip unpacks to exactly its files, each DLL passes the digest test
# through the project's own host under wine and the CLAP plug-in the CLAP
# suite; each package lists exactly its files, is lintian-clean, and
# unpacked into a private root its renderer renders through its own module
# (arm64 under qemu, bit-identical to amd64) and lilv's, LADSPA's and
# Qtractor's tools find its plug-ins. Nothing is installed.
set -uo pipefail
release=$(cd "$1" && pwd) build=$(cd "$2" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
version=$(cat "$build/linux-x86_64/VERSION")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
passed=0 failed=0 skipped=0
pass() { echo "PASS: $1"; passed=$((passed + 1)); }
fail() { echo "FAIL: $1" >&2; failed=$((failed + 1)); }
skip() { echo "SKIP: $1: $2"; skipped=$((skipped + 1)); }
check() {  # NAME COMMAND...: passes when the command does
    local name=$1
    shift
    if "$@" > "$work/out" 2>&1; then pass "$name"; else fail "$name"; sed 's/^/    /' "$work/out" >&2; fi
}
same_lists() {  # EXPECTED-FILE ACTUAL-FILE
    diff -u "$1" "$2" && return 0
    return 1
}

zip=crossfeed-$version-windows.zip
amd64=crossfeed_$version-1_amd64.deb
arm64=crossfeed_$version-1_arm64.deb
tarball=crossfeed-$version.tar.gz

# The release folder: exactly these files, each one summed.
printf '%s\n' SHA256SUMS "$amd64" "$arm64" "$zip" "$tarball" | LC_ALL=C sort > "$work/expected"
(cd "$release" && ls -1) | LC_ALL=C sort > "$work/actual"
check "release folder holds exactly the five files" same_lists "$work/expected" "$work/actual"
sums_cover_all() {
    (cd "$release" && sha256sum --strict -c SHA256SUMS) || return 1
    awk '{ print $2 }' "$release/SHA256SUMS" | LC_ALL=C sort > "$work/summed"
    grep -vx SHA256SUMS "$work/expected" | same_lists - "$work/summed"
}
check "SHA256SUMS covers every other file and matches" sums_cover_all
source_matches() {
    tar -tzf "$release/$tarball" > "$work/tarball" || return 1
    grep -qx "crossfeed-$version/CMakeLists.txt" "$work/tarball" &&
        grep -qx "crossfeed-$version/packaging/release" "$work/tarball"
}
check "source archive holds the tree under crossfeed-$version/" source_matches

# No folder of this build inside any released file.
no_build_paths() {  # FOLDER
    local found
    found=$(grep -rlF -e "$source_dir" -e "$build" "$1")
    [ -z "$found" ] || { echo "build paths in: $found"; return 1; }
}

# --- Windows zip ------------------------------------------------------------
mkdir -p "$work/zip"
printf '%s\n' CLAP-LICENSE.txt LICENSE.txt README.txt win32/crossfeed.dll win64/crossfeed.clap win64/crossfeed.dll \
    > "$work/expected"
unzip -Z1 "$release/$zip" | LC_ALL=C sort > "$work/actual"
check "zip: exactly README.txt, both licences, both DLLs and the CLAP plug-in" same_lists "$work/expected" "$work/actual"
unzip -q "$release/$zip" -d "$work/zip"
crlf_only() {  # FILE: every line ends in CR LF
    [ -s "$1" ] && ! grep -qv $'\r$' "$1"
}
check "zip: README.txt has Windows line ends" crlf_only "$work/zip/README.txt"
check "zip: LICENSE.txt has Windows line ends" crlf_only "$work/zip/LICENSE.txt"
check "zip: CLAP-LICENSE.txt has Windows line ends" crlf_only "$work/zip/CLAP-LICENSE.txt"
check "zip: README.txt names version $version" grep -q "Crossfeed $version for Windows" "$work/zip/README.txt"
check "zip: no build paths in any file" no_build_paths "$work/zip"
for bits in 32 64; do
    # The digest program loads crossfeed.dll from its own folder.
    mkdir -p "$work/win$bits"
    cp "$work/zip/win$bits/crossfeed.dll" "$build/win$bits/bin/cross_target_digest.exe" "$work/win$bits/"
    check "zip: win$bits/crossfeed.dll computes the cross-target digest under wine" \
        "$source_dir/scripts/wine-run" "$bits" "$work/win$bits/cross_target_digest.exe"
done
# The CLAP suite loads crossfeed.clap, and the VST module it compares with,
# from its own folder.
cp "$work/zip/win64/crossfeed.clap" "$build/win64/bin/clap_tests.exe" "$work/win64/"
check "zip: win64/crossfeed.clap passes the CLAP suite under wine" \
    "$source_dir/scripts/wine-run" 64 "$work/win64/clap_tests.exe"

# --- Debian packages --------------------------------------------------------
expected_contents() {
    printf '%s\n' ./ ./usr/ ./usr/bin/ ./usr/bin/crossfeed-render ./usr/lib/ ./usr/lib/ladspa/ \
        ./usr/lib/ladspa/crossfeed.so ./usr/lib/clap/ ./usr/lib/clap/crossfeed.clap ./usr/lib/lv2/ \
        ./usr/lib/lv2/crossfeed.lv2/ \
        ./usr/lib/lv2/crossfeed.lv2/crossfeed.so ./usr/lib/lv2/crossfeed.lv2/crossfeed.ttl \
        ./usr/lib/lv2/crossfeed.lv2/manifest.ttl ./usr/lib/lv2/crossfeed.lv2/presets.ttl ./usr/lib/lxvst/ \
        ./usr/lib/lxvst/crossfeed.so ./usr/share/ ./usr/share/doc/ ./usr/share/doc/crossfeed/ \
        ./usr/share/doc/crossfeed/README.Debian ./usr/share/doc/crossfeed/changelog.Debian.gz \
        ./usr/share/doc/crossfeed/copyright ./usr/share/doc/crossfeed/examples/ \
        ./usr/share/doc/crossfeed/examples/crossfeed-sink.conf \
        ./usr/share/doc/crossfeed/examples/crossfeed-headphones-sink.conf \
        ./usr/share/doc/crossfeed/examples/crossfeed.asoundrc ./usr/share/lintian/ \
        ./usr/share/lintian/overrides/ ./usr/share/lintian/overrides/crossfeed ./usr/share/man/ \
        ./usr/share/man/man1/ ./usr/share/man/man1/crossfeed-render.1.gz | LC_ALL=C sort
}
package_info() {  # DEB ARCH
    dpkg-deb --info "$1" > "$work/info" || return 1
    cat "$work/info"
    grep -qx " Package: crossfeed" "$work/info" && grep -qx " Version: $version-1" "$work/info" &&
        grep -qx " Architecture: $2" "$work/info" && grep -q "^ Depends: .*libc6" "$work/info" &&
        grep -q "^ Depends: .*libsndfile1" "$work/info" &&
        # No maintainer scripts: installing runs nothing and enables nothing.
        ! grep -qE '^ +[0-9]+ bytes, +[0-9]+ lines +\*? *(pre|post)(inst|rm)' "$work/info"
}
package_contents() {  # DEB
    dpkg-deb --contents "$1" > "$work/listing" || return 1
    awk '$2 != "root/root" { print "not root-owned: " $6; bad = 1 } END { exit bad }' "$work/listing" || return 1
    awk '{ print $6 }' "$work/listing" | LC_ALL=C sort > "$work/actual"
    expected_contents | same_lists - "$work/actual"
}
for arch in amd64 arm64; do
    deb=crossfeed_$version-1_$arch.deb
    check "$arch: dpkg-deb --info: crossfeed $version-1, its libraries, no maintainer scripts" \
        package_info "$release/$deb" "$arch"
    check "$arch: dpkg-deb --contents: exactly the plug-ins, renderer, manual page and documents" \
        package_contents "$release/$deb"
done

lintian_clean() {
    lintian --fail-on error,warning --display-info "$release/$amd64" "$release/$arm64" 2>&1 | grep -v '^N: ' |
        tee "$work/lintian"
    [ "${PIPESTATUS[0]}" -eq 0 ]
}
check "lintian: no error and no warning in either package" lintian_clean
sed 's/^/    lintian: /' "$work/lintian"

# Test audio: a hard-panned pair of tones, floats, made without the project.
sox -n -r 44100 -c 1 -b 32 -e floating-point "$work/left.wav" synth 1.5 sine 440 gain -3
sox -n -r 44100 -c 1 -b 32 -e floating-point "$work/right.wav" synth 1.5 square 1000 gain -12
sox -M "$work/left.wav" "$work/right.wav" "$work/input.wav"

for arch in amd64 arm64; do
    root=$work/root-$arch
    mkdir -p "$root"
    dpkg-deb -x "$release/crossfeed_$version-1_$arch.deb" "$root"
    check "$arch: no build paths in any installed file" no_build_paths "$root"
    check "$arch: the ALSA example names the installed LADSPA folder" \
        grep -q '"/usr/lib/ladspa"' "$root/usr/share/doc/crossfeed/examples/crossfeed.asoundrc"
    run=()
    [ "$arch" = arm64 ] && run=(qemu-aarch64-static -L /)
    renderer=$root/usr/bin/crossfeed-render
    finds_own_module() {
        "${run[@]}" "$renderer" --version > "$work/version" || return 1
        cat "$work/version"
        grep -qF "module $root/usr/bin/../lib/lxvst/crossfeed.so" "$work/version"
    }
    check "$arch: the installed renderer loads the installed VST module" finds_own_module
    # Floats into AU: a float WAV's PEAK chunk holds the time of writing.
    check "$arch: the installed renderer renders a file (floats)" \
        "${run[@]}" "$renderer" --program "Lounge room" --bits float "$work/input.wav" "$work/float-$arch.au"
    check "$arch: the installed renderer renders a file (16 bits)" \
        "${run[@]}" "$renderer" --bits 16 "$work/input.wav" "$work/16-$arch.wav"

    lv2_finds_plugin() {
        LV2_PATH=$root/usr/lib/lv2 lv2ls > "$work/lv2ls" || return 1
        cat "$work/lv2ls"
        grep -qx "urn:crossfeed:crossfeed" "$work/lv2ls" || return 1
        LV2_PATH=$root/usr/lib/lv2 lv2info urn:crossfeed:crossfeed > "$work/lv2info" || return 1
        local preset
        for preset in "Bedroom studio" "Lounge room" "Big Head" "Car stereo"; do
            grep -q "$preset" "$work/lv2info" || { echo "lv2info lists no preset $preset"; return 1; }
        done
    }
    check "$arch: lv2ls and lv2info find the plug-in and its four presets" lv2_finds_plugin
    clap_exports_only_its_entry() {
        nm -D --defined-only "$root/usr/lib/clap/crossfeed.clap" | awk '{ print $3 }' > "$work/exports" || return 1
        cat "$work/exports"
        [ "$(cat "$work/exports")" = clap_entry ]
    }
    check "$arch: the CLAP plug-in exports only clap_entry" clap_exports_only_its_entry
    if [ "$arch" = amd64 ]; then
        ladspa_described() {
            analyseplugin "$root/usr/lib/ladspa/crossfeed.so" > "$work/analyse" || return 1
            cat "$work/analyse"
            grep -q 'Plugin Label: "crossfeed"' "$work/analyse"
        }
        check "$arch: analyseplugin describes the LADSPA plug-in" ladspa_described
        scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
        clap_scanned() {
            printf 'CLAP:%s\n' "$root/usr/lib/clap/crossfeed.clap" | HOME=$work "$scanner" > "$work/scan" 2>&1 || return 1
            cat "$work/scan"
            grep -q '^CLAP|Crossfeed|2:2|0:0|2:0|' "$work/scan"
        }
        if [ -x "$scanner" ]; then
            check "$arch: Qtractor's scanner finds the CLAP plug-in, two inputs and two outputs" clap_scanned
        else
            skip "$arch: Qtractor's scanner finds the CLAP plug-in" "$scanner is not installed (package qtractor)"
        fi
    else
        skip "$arch: analyseplugin describes the LADSPA plug-in" \
            "analyseplugin is an amd64 program and cannot load an arm64 plug-in"
        skip "$arch: Qtractor's scanner finds the CLAP plug-in" "the scanner is an amd64 program"
    fi
done
check "arm64 and amd64 renderers write the same bytes (floats)" cmp "$work/float-amd64.au" "$work/float-arm64.au"
check "arm64 and amd64 renderers write the same bytes (16 bits)" cmp "$work/16-amd64.wav" "$work/16-arm64.wav"

echo "release: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]

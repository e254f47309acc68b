#!/bin/sh
# make install into a temporary DESTDIR, the installed renderer run from
# there, then make uninstall: nothing of ours may be left.
#   install_test.sh SOURCE-DIR RENDERER MODULE MANUAL-PAGE
# A renderer built for another processor runs under $CROSSFEED_EMULATOR.
set -eu
source=$1 renderer=$2 module=$3 manual=$4
emulator=${CROSSFEED_EMULATOR:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
fail() { echo "install test: $*" >&2; exit 1; }

# Plug-ins of the other interfaces, as their builds leave them in dist/.
mkdir -p "$work/dist/lv2/crossfeed.lv2" "$work/dist/ladspa" "$work/dist/linux-x86_64"
echo manifest > "$work/dist/lv2/crossfeed.lv2/manifest.ttl"
echo binary > "$work/dist/lv2/crossfeed.lv2/crossfeed.so"
echo ladspa > "$work/dist/ladspa/crossfeed.so"
echo clap > "$work/dist/linux-x86_64/crossfeed.clap"
dest=$work/dest
mkdir -p "$dest/usr/bin"
echo "someone else's" > "$dest/usr/bin/other-tool"

make -s -C "$source" -f mk/install.mk install DESTDIR="$dest" PREFIX=/usr DIST="$work/dist" \
    RENDERER="$renderer" MODULE="$module" MANUAL="$manual" > "$work/log" || fail "install failed: $(cat "$work/log")"
for file in bin/crossfeed-render lib/lxvst/crossfeed.so lib/lv2/crossfeed.lv2/manifest.ttl \
            lib/lv2/crossfeed.lv2/crossfeed.so lib/ladspa/crossfeed.so lib/clap/crossfeed.clap \
            share/man/man1/crossfeed-render.1 \
            share/doc/crossfeed/LICENSE; do
    [ -f "$dest/usr/$file" ] || fail "$file not installed"
done
[ -x "$dest/usr/bin/crossfeed-render" ] || fail "the renderer is not executable"
# The system-wide paths come as examples that name the installed plug-ins,
# and nothing is put where a sound server or ALSA would read it by itself.
for file in crossfeed-sink.conf crossfeed-headphones-sink.conf crossfeed.asoundrc; do
    [ -f "$dest/usr/share/doc/crossfeed/examples/$file" ] || fail "example $file not installed"
done
grep -q '"/usr/lib/ladspa"' "$dest/usr/share/doc/crossfeed/examples/crossfeed.asoundrc" ||
    fail "the ALSA example does not name the installed LADSPA folder"
active=$(cd "$dest" && find . -type f ! -path ./usr/bin/other-tool ! -path './usr/bin/*' ! -path './usr/lib/*' \
         ! -path './usr/share/man/*' ! -path './usr/share/doc/crossfeed/*')
[ -z "$active" ] || fail "installed outside its own places: $active"

# The installed renderer finds the installed module by itself.
version=$(timeout 30 $emulator "$dest/usr/bin/crossfeed-render" --version) || fail "installed renderer failed"
case $version in
*"module $dest/usr/bin/../lib/lxvst/crossfeed.so"*) ;;
*) fail "installed renderer did not load the installed module: $version" ;;
esac
timeout 30 $emulator "$dest/usr/bin/crossfeed-render" --list | grep -q "^0: " || fail "--list failed"
! command -v man >/dev/null || man -l "$dest/usr/share/man/man1/crossfeed-render.1" 2>"$work/man" | grep -q "crossfeed-render" \
    || fail "the manual page does not format"
[ ! -s "$work/man" ] || fail "the manual page has errors: $(cat "$work/man")"
# The page installed is the one built, of this build's version.
tool_version=$(printf '%s\n' "$version" | sed -n 's/^crossfeed-render //p')
grep -q "^\.TH CROSSFEED-RENDER 1 .* \"crossfeed $tool_version\" " "$dest/usr/share/man/man1/crossfeed-render.1" ||
    fail "the installed manual page is not of version $tool_version"

make -s -C "$source" -f mk/install.mk uninstall DESTDIR="$dest" PREFIX=/usr > "$work/log" \
    || fail "uninstall failed: $(cat "$work/log")"
left=$(cd "$dest" && find . -type f ! -path ./usr/bin/other-tool)
[ -z "$left" ] || fail "left after uninstall: $left"
[ -f "$dest/usr/bin/other-tool" ] || fail "uninstall removed a file it did not install"
for dir in lib/lv2/crossfeed.lv2 share/doc/crossfeed/examples share/doc/crossfeed; do
    [ ! -e "$dest/usr/$dir" ] || fail "$dir left after uninstall"
done
echo "install test passed"

#!/bin/sh
# The 32-bit Windows runner and the switch that emulates 32-bit programs:
#   wine_runner_test.sh SOURCE-DIR
# A program that passes keeps its own error lines and loses wine's; one that
# fails shows everything and keeps its status. enable-i386 --emulate
# registers qemu-i386, --native takes back only its own entry; both are
# tried in a binfmt_misc of the test's own, so the machine is left as it is.
set -u
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
failed=0
pass() { echo "PASS: $1"; }
fail() { echo "FAIL: $1" >&2; failed=$((failed + 1)); }
expect() { # NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then
        pass "$1"
    else
        fail "$1"
        printf '    expected: %s\n    actual:   %s\n' "$2" "$3" >&2
    fi
}
# cmd.exe's lines, without their carriage returns and trailing blanks.
lines() { tr -d '\r' <"$1" | sed 's/ *$//' | tr '\n' '|'; }

# --- wine-run's output --------------------------------------------------
for status in 0 3; do
    "$source_dir/scripts/wine-run" 32 cmd.exe /c \
        "echo out& echo 0024:err:module:load test line 1>&2& echo fixme:dll:call test line 1>&2& echo own line 1>&2& exit $status" \
        >"$work/out" 2>"$work/err$status"
    expect "wine-run returns the program's exit status $status" $status $?
    expect "wine-run keeps the output on exit status $status" "out|" "$(lines "$work/out")"
done
expect "a passing program's errors lose wine's lines" "own line|" "$(lines "$work/err0")"
# Wine's background processes may add lines of their own to a failing run.
grep -E 'test line|own line' "$work/err3" >"$work/ours3"
expect "a failing program's errors keep wine's lines" \
    "0024:err:module:load test line|fixme:dll:call test line|own line|" "$(lines "$work/ours3")"

# --- enable-i386 ----------------------------------------------------------
# Run as the root of a new user namespace, where a binfmt_misc mounted is
# that namespace's own (Linux 6.7 or later).
cat >"$work/emulate.sh" <<'EOF'
enable=$1
misc=/proc/sys/fs/binfmt_misc
echo "started"
mount -t binfmt_misc binfmt_misc $misc 2>/dev/null || { echo "no-binfmt"; exit 0; }
# How a 32-bit program ran: qemu says so when asked to trace its calls.
ran() {
    out=$(QEMU_STRACE=1 /lib/ld-linux.so.2 --version 2>&1) || { echo "not"; return; }
    case $out in *"exit_group("*) echo "under qemu" ;; *) echo "natively" ;; esac
}
native=no
[ "$(ran)" = natively ] && native=yes
"$enable" --emulate && echo "registered $(sed -n 's/^interpreter //p;s/^flags: //p' $misc/qemu-i386 | tr '\n' ' ')"
echo "32-bit runs $(ran)"
if [ $native = yes ]; then
    "$enable" --native >/dev/null && [ ! -e $misc/qemu-i386 ] && echo "removed"
    echo "32-bit then runs $(ran)"
    # Someone else's entry for the same programs stays.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:' >$misc/register
    "$enable" --native 2>/dev/null
    [ -e $misc/qemu-i386 ] && echo "foreign entry kept"
else
    echo "not-native"
fi
EOF
unshare --user --map-root-user --mount sh "$work/emulate.sh" "$source_dir/scripts/enable-i386" >"$work/emulate" 2>&1
said() { grep -qx "$1" "$work/emulate"; }
if ! said "started"; then
    echo "SKIP: enable-i386: no user namespace can be made here to try it in"
elif said "no-binfmt"; then
    echo "SKIP: enable-i386: this kernel gives a user namespace no binfmt_misc of its own (Linux 6.7 or later)"
else
    expect "enable-i386 --emulate registers qemu-i386-static, opened at once" yes \
        "$(said "registered /usr/bin/qemu-i386-static F " && echo yes)"
    expect "32-bit programs run under qemu through the entry" yes "$(said "32-bit runs under qemu" && echo yes)"
    if said "not-native"; then
        echo "SKIP: enable-i386 --native: this kernel runs no 32-bit programs itself"
    else
        expect "enable-i386 --native removes its entry" yes "$(said removed && echo yes)"
        expect "32-bit programs run natively after --native" yes "$(said "32-bit then runs natively" && echo yes)"
        expect "enable-i386 --native keeps an entry it did not make" yes "$(said "foreign entry kept" && echo yes)"
    fi
fi

exit $failed

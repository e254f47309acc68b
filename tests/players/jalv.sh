#!/bin/sh
# jalv runs the LV2 plug-in as a JACK client of jackd's dummy driver; ecasound
# plays a file into it and jack_rec records its outputs. What it recorded is
# the module's processing of the file after alignment, within the rounding
# of jack_rec's 32-bit integer samples (half a step, 2^-32 of full scale).
# JACK keeps its files in /dev/shm, so the test runs in a mount namespace of
# its own with a private /dev/shm.
. "$(dirname "$0")/common.sh"
need jackd jalv jack_rec jack_lsp ecasound unshare
case $host in
jalv)
    shift
    # Each try in a fresh namespace. The server waits for late clients
    # (--sync), but ecasound still reads the file ahead of JACK in a thread
    # of its own, which a loaded machine can starve for a cycle.
    namespace=""
    for flags in "--mount --propagation private" "--map-root-user --mount --propagation private"; do
        if unshare $flags sh -c 'mount -t tmpfs crossfeed /dev/shm' 2>/dev/null; then namespace=$flags; break; fi
    done
    [ -n "$namespace" ] || skip "JACK writes into /dev/shm and no private one can be mounted here (unshare --mount)"
    for attempt in 1 2 3; do
        # shellcheck disable=SC2086
        if timeout -k 5 60 unshare $namespace sh -c 'mount -t tmpfs -o size=256m,mode=1777 crossfeed /dev/shm &&
                                                       exec "$0" "$@"' "$0" jalv-once "$@"; then exit 0; fi
        echo "attempt $attempt failed" >&2
    done
    exit 1 ;;
esac
export LV2_PATH="$lv2_path" JACK_DEFAULT_SERVER=crossfeed-test JACK_NO_AUDIO_RESERVATION=1
"$tool" input "$work/in.wav" 48000 24000 12000 24000
controls=$(program_controls "Bedroom studio")
level=${controls% *} delay=${controls#* }
reference "$work/in.wav" "$work/expected.wav" "$level" "$delay"

# Waits up to ten seconds for COUNT ports whose names match PATTERN.
wait_ports() {
    tries=0
    until [ "$(jack_lsp 2>/dev/null | grep -c "$1")" -eq "$2" ]; do
        tries=$((tries + 1)); [ $tries -lt 100 ] || { show "$work"/*.log; fail "no ports $1"; }
        sleep 0.1
    done
}
jackd --no-realtime --sync -t 10000 -d dummy -r 48000 -p 1024 >"$work/jackd.log" 2>&1 &
started="$!"
wait_ports "^system:" 4
# jalv's console stops at the end of its input: it reads a pipe we hold open
# until the end.
mkfifo "$work/jalv.in"
jalv -x -n crossfeed -c "level=$level" -c "delay=$delay" "$uri" <"$work/jalv.in" >"$work/jalv.log" 2>&1 &
jalv=$!
started="$jalv $started"
exec 3>"$work/jalv.in"
wait_ports "^crossfeed:" 4
# 1.25 s of audio, played from about half a second on.
jack_rec -f "$work/out.wav" -d 2.5 -b 32 crossfeed:out_left crossfeed:out_right >"$work/jack_rec.log" 2>&1 &
recorder=$!
started="$recorder $started"
bounded ecasound -q -i "$work/in.wav" -o jack,crossfeed >"$work/ecasound.log" 2>&1 ||
    { show "$work/ecasound.log"; fail "ecasound did not play into jalv"; }
wait "$recorder" || { show "$work/jack_rec.log"; fail "jack_rec failed"; }
printf '%s: ecasound into jalv, recorded by jack_rec: ' "$host"
"$tool" compare "$work/expected.wav" "$work/out.wav" 9.4e-10 align
# A client that outlives its server waits for it to time out.
exec 3>&-
stop "$jalv"

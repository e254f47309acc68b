# What every player test shares; each test sources it with its arguments:
#   TEST HOST WORK_ROOT LV2_PATH LADSPA_FILE VST_MODULE AUDIO_TOOL LV2_DESCRIBE
# HOST names the host and the form under test (gstreamer-lv2). Every file a
# test writes is in its own folder under WORK_ROOT, except the sockets and
# runtime files, which go in a short folder of their own under /tmp (a Unix
# socket path holds at most 108 bytes); both are removed at the end. Every
# process a test starts it stops by its id.
set -eu
host=$1 work=$2/$1 lv2_path=$3 ladspa=$4 module=$5 tool=$6 describe=$7
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
uri=urn:crossfeed:crossfeed
ladspa_path=$(dirname "$ladspa")
rm -rf "$work" && mkdir -p "$work/home"
runtime=$(mktemp -d /tmp/crossfeed.XXXXXX)
chmod 700 "$runtime"
started=""
# A private user: nothing a host reads or writes is the machine's own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
       XDG_DATA_HOME="$work/home/.local/share" XDG_STATE_HOME="$work/home/.local/state" XDG_RUNTIME_DIR="$runtime"
unset DBUS_SESSION_BUS_ADDRESS PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR PIPEWIRE_CONFIG_DIR PULSE_SERVER PULSE_RUNTIME_PATH \
      JACK_DEFAULT_SERVER ALSA_CONFIG_PATH DISPLAY WAYLAND_DISPLAY

# A child that has ended stays a zombie until it is waited for.
running() { [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)" != Z ]; }
# Asks each process to stop, then waits a bounded time before killing it.
stop() {
    for pid in "$@"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "$@"; do
        tries=0
        while running "$pid" && [ $tries -lt 50 ]; do sleep 0.1; tries=$((tries + 1)); done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
cleanup() {
    status=$?
    [ -z "$started" ] || stop $started
    rm -rf "$work" "$runtime"
    exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM

bounded() { timeout -k 5 60 "$@"; }
skip() { echo "SKIP: real_host_$host: $*"; exit 77; }
fail() { echo "FAIL: real_host_$host: $*" >&2; exit 1; }
need() {
    for program in "$@"; do
        command -v "$program" >/dev/null 2>&1 || skip "$program is not installed (make check INSTALL_TEST_HOSTS=1 installs it)"
    done
}
# Prints the files named, for a failure's report.
show() { for file in "$@"; do [ ! -s "$file" ] || { echo "--- $file" >&2; tail -n 40 "$file" >&2; }; done; }

# Each program's control values and a few others: "level delay" lines.
controls() {
    "$describe" --controls | cut -f2,3 | tr '\t' ' '
    printf '%s\n' "0.0 0.0" "100.0 0.5" "63.2 7.77"
}
# The control values of the program named.
program_controls() { "$describe" --controls | awk -F '\t' -v name="$1" '$1 == name { print $2, $3 }'; }
reference() { "$tool" render "$module" "$1" "$2" "$3" "$4"; }

# Runs "render IN OUT LEVEL DELAY" for each pair of controls and compares the
# result with the VST module's rendering of the same input, bit for bit.
against_module() {
    controls | while read -r level delay; do
        reference "$work/in.wav" "$work/expected.wav" "$level" "$delay"
        render "$work/in.wav" "$work/out.wav" "$level" "$delay"
        printf '%s: %s %% %s ms: ' "$host" "$level" "$delay"
        "$tool" compare "$work/expected.wav" "$work/out.wav" 0
        rm -f "$work/out.wav" "$work/expected.wav"
    done
}

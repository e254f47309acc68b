#!/bin/sh
# One real host from Debian against the built plug-ins:
#   real_hosts.sh HOST WORK_FOLDER LV2_PATH LADSPA_FILE VST_MODULE AUDIO_TOOL LV2_DESCRIBE
# Each file it writes is inside its own fresh folder under WORK_FOLDER, and
# every process it starts it stops by its id.
set -eu
host=$1 work=$2/$1 lv2_path=$3 ladspa=$4 module=$5 tool=$6 describe=$7
uri=urn:crossfeed:crossfeed
bundle=$lv2_path/crossfeed.lv2
rm -rf "$work" && mkdir -p "$work"
started=""
runtime=""
# Asks each process to stop, then waits a bounded time before killing it.
stop() {
    for pid in "$@"; do kill -INT "$pid" 2>/dev/null || true; done
    for pid in "$@"; do
        tries=0
        while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do sleep 0.1; tries=$((tries + 1)); done
        kill -KILL "$pid" 2>/dev/null || true
    done
}
cleanup() {
    status=$?
    [ -z "$started" ] || stop $started
    rm -rf "$work"
    [ -z "$runtime" ] || rm -rf "$runtime"
    exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM
bounded() { timeout -k 5 120 "$@"; }

# Each program's control values and a few others: "level delay" lines.
controls() {
    "$describe" --controls | cut -f2,3 | tr '\t' ' '
    printf '%s\n' "0.0 0.0" "100.0 0.5" "63.2 7.77"
}

if [ "${host%-once}" != pipewire ]; then "$tool" input "$work/in.wav" 44100 20000 0 0; fi

# Runs "render OUT LEVEL DELAY" for each pair of controls and compares the
# result with the VST module's rendering within TOLERANCE.
against_module() {
    tolerance=$1
    controls | while read -r level delay; do
        "$tool" render "$module" "$work/in.wav" "$work/expected.wav" "$level" "$delay"
        render "$work/out.wav" "$level" "$delay"
        printf '%s %% %s ms: ' "$level" "$delay"
        "$tool" compare "$work/expected.wav" "$work/out.wav" "$tolerance"
        rm -f "$work/out.wav" "$work/expected.wav"
    done
}

case $host in
lv2_validate)
    # Its exit status says nothing: judge by what it prints.
    bounded lv2_validate "$bundle"/*.ttl >"$work/report" 2>&1 || true
    cat "$work/report"
    if grep -v '^Found 0 errors' "$work/report" | grep -qiE 'error|warn' || ! grep -q '^Found 0 errors' "$work/report"; then
        echo "lv2_validate reported problems" >&2; exit 1
    fi ;;
lv2info)
    LV2_PATH=$lv2_path bounded lv2info "$uri" >"$work/info"
    cat "$work/info"
    for symbol in in_left in_right out_left out_right level delay; do
        grep -q "Symbol: *$symbol\$" "$work/info" || { echo "no port $symbol" >&2; exit 1; }
    done
    [ "$(grep -o 'Symbol: *[a-z_]*' "$work/info" | tr -s ' ' | cut -d' ' -f2 | tr '\n' ' ')" = \
      "in_left in_right out_left out_right level delay " ] || { echo "ports out of order" >&2; exit 1; }
    grep -q 'Default: *30.000000' "$work/info" && grep -q 'Default: *2.089796' "$work/info"
    "$describe" --controls | cut -f1 | while read -r name; do
        grep -q "^[[:space:]]*$name\$" "$work/info" || { echo "no preset $name" >&2; exit 1; }
    done
    LV2_PATH=$lv2_path bounded lv2info -p "$work/ports.ttl" "$uri" >/dev/null
    units=http://lv2plug.in/ns/extensions/units
    delay_unit="<$uri:unit:ms-at-44.1khz>"
    grep -qF "units#unit> <$units#pc>" "$work/ports.ttl" && grep -qF "units#unit> $delay_unit" "$work/ports.ttl" ||
        { echo "units missing" >&2; exit 1; }
    # The delay's own unit: milliseconds at 44.1 kHz, each 44.1 frames.
    sordi "$bundle/crossfeed.ttl" >"$work/triples"
    conversion=$(grep -F "$delay_unit <$units#conversion> " "$work/triples" | cut -d' ' -f3)
    grep -qF "$conversion <$units#to> <$units#frame> ." "$work/triples" &&
        grep -qF "$conversion <$units#factor> \"44.1\"" "$work/triples" || { echo "the delay's unit converts wrongly" >&2; exit 1; }
    # One stereo stream in and one out.
    grep -q 'port-groups#mainInput' "$work/ports.ttl" && grep -q 'port-groups#mainOutput' "$work/ports.ttl" ||
        { echo "no stereo groups" >&2; exit 1; } ;;
lv2apply)
    render() { LV2_PATH=$lv2_path bounded lv2apply -i "$work/in.wav" -o "$1" -c level "$2" -c delay "$3" "$uri"; }
    against_module 0 ;;
analyseplugin)
    bounded analyseplugin "$ladspa" | tee "$work/report"
    grep -q 'Plugin Label: "crossfeed"' "$work/report"
    grep -qF '"Level (%)" input, control, 0 to 100' "$work/report"
    grep -qF '"Delay (ms at 44.1 kHz)" input, control, 0 to 11.61' "$work/report"
    [ "$(grep -c 'input, audio\|output, audio' "$work/report")" -eq 4 ] ;;
ffmpeg-ladspa)
    render() {
        bounded ffmpeg -nostdin -loglevel error -y -i "$work/in.wav" \
            -af "ladspa=file=$ladspa:plugin=crossfeed:controls=c0=$2|c1=$3" -c:a pcm_f32le "$1"
    }
    against_module 0 ;;
ffmpeg-lv2)
    render() {
        LV2_PATH=$lv2_path bounded ffmpeg -nostdin -loglevel error -y -i "$work/in.wav" \
            -af "lv2=plugin=$(echo "$uri" | sed 's/:/\\\\:/g'):controls=level=$2|delay=$3" -c:a pcm_f32le "$1"
    }
    against_module 0 ;;
sox)
    # sox carries samples as 32-bit integers between its effects; its
    # conversions back to float move a sample by at most one float step.
    render() { bounded sox -q "$work/in.wav" -e floating-point -b 32 "$1" ladspa "$ladspa" crossfeed "$2" "$3"; }
    against_module 5.97e-8 ;;
pipewire)
    for program in pipewire pw-cli pw-cat pw-link; do
        command -v $program >/dev/null 2>&1 || {
            echo "SKIP: real_host_pipewire: $program is not installed (make check INSTALL_TEST_HOSTS=1 installs it)"
            exit 77; }
    done
    # The daemon keeps real time on a shared machine: a missed cycle drops a
    # quantum. Three tries, each from scratch, must not all miss.
    for attempt in 1 2 3; do
        if "$0" pipewire-once "$2" "$lv2_path" "$ladspa" "$module" "$tool" "$describe"; then exit 0; fi
        echo "attempt $attempt failed" >&2
    done
    exit 1 ;;
pipewire-once)
    # A private headless daemon with a dummy driver and no session manager,
    # loading the shipped sink from its drop-in folder as a user's would.
    # Its socket's path must fit 108 bytes wherever the clone lives.
    runtime=$(mktemp -d "${TMPDIR:-/tmp}/crossfeed-pw.XXXXXX")
    export XDG_RUNTIME_DIR="$runtime" PIPEWIRE_RUNTIME_DIR="$runtime"
    export LV2_PATH="$lv2_path" DBUS_SESSION_BUS_ADDRESS=disabled: PIPEWIRE_DEBUG=1
    mkdir -p "$work/config/daemon.conf.d"
    cp "$(dirname "$0")/../../pipewire/crossfeed-sink.conf" "$work/config/daemon.conf.d/"
    cat >"$work/config/daemon.conf" <<'CONF'
context.properties = { core.daemon = true core.name = pipewire-0 default.clock.rate = 48000 support.dbus = false }
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert support.* = support/libspa-support }
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-access }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-spa-node-factory }
]
context.objects = [
    { factory = spa-node-factory
      args = { factory.name = support.node.driver node.name = Dummy-Driver priority.driver = 20000 } }
]
CONF
    # Silence around the sound: the recording starts a few quanta late and
    # drops its last partial quantum.
    "$tool" input "$work/in.wav" 48000 24000 12000 24000
    PIPEWIRE_CONFIG_DIR="$work/config" pipewire -c daemon.conf >"$work/daemon.log" 2>&1 &
    started="$!"
    node_id() { timeout 5 pw-cli ls Node | awk -v name="\"$1\"" '$1 == "id" { id = $2; sub(",", "", id) }
                                                              $1 == "node.name" && $3 == name { print id }'; }
    port_config() {
        printf '{ "direction": "%s", "mode": "dsp", "format": { "mediaType": "audio", "mediaSubtype": "raw",' "$1"
        printf ' "format": "F32P", "rate": 48000, "channels": 2, "position": [ "FL", "FR" ] } }'
    }
    # Waits up to five seconds for a node to appear; prints its id.
    wait_node() {
        tries=0
        until id=$(node_id "$1") && [ -n "$id" ]; do
            tries=$((tries + 1)); [ $tries -lt 50 ] || { echo "no node $1" >&2; cat "$work/daemon.log" >&2; exit 1; }
            sleep 0.1
        done
        echo "$id"
    }
    sink=$(wait_node effect_input.crossfeed)
    source=$(wait_node effect_output.crossfeed)
    pw-cat --record -P '{ node.name = crossfeed-test-recorder }' --format f32 --rate 48000 --channels 2 \
        "$work/out.wav" >"$work/recorder.log" 2>&1 &
    recorder=$!
    pw-cat --playback -P '{ node.name = crossfeed-test-player }' "$work/in.wav" >"$work/player.log" 2>&1 &
    player=$!
    started="$player $recorder $started"
    timeout 5 pw-cli set-param "$sink" PortConfig "$(port_config Input)" >/dev/null
    timeout 5 pw-cli set-param "$source" PortConfig "$(port_config Output)" >/dev/null
    timeout 5 pw-cli set-param "$(wait_node crossfeed-test-recorder)" PortConfig "$(port_config Input)" >/dev/null
    timeout 5 pw-cli set-param "$(wait_node crossfeed-test-player)" PortConfig "$(port_config Output)" >/dev/null
    for channel in FL FR; do
        bounded pw-link "effect_output.crossfeed:output_$channel" "crossfeed-test-recorder:input_$channel"
        bounded pw-link "crossfeed-test-player:output_$channel" "effect_input.crossfeed:playback_$channel"
    done
    # 1.25 s of audio: the player ends well within 20 s.
    tries=0
    while kill -0 "$player" 2>/dev/null; do
        tries=$((tries + 1)); [ $tries -lt 200 ] || { echo "the player did not finish" >&2; exit 1; }
        sleep 0.1
    done
    stop "$recorder"
    "$describe" --controls | head -1 | cut -f2,3 | {
        read -r level delay
        "$tool" render "$module" "$work/in.wav" "$work/expected.wav" "$level" "$delay"
    }
    "$tool" compare "$work/expected.wav" "$work/out.wav" 0 align ;;
*)
    echo "unknown host $host" >&2; exit 2 ;;
esac

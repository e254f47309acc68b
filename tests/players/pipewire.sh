#!/bin/sh
# PipeWire as a desktop runs it: pipewire, the WirePlumber session manager and
# pipewire-pulse, private and headless under their own D-Bus session, with
# null sinks standing in for the listener's devices.
#   pipewire-desktop     the shipped sink made the default; paplay (naming no
#                        device), pw-play and mpv --ao=pulse play a file and
#                        what reaches the headphones is the module's
#                        processing of it, bit for bit after alignment
#   pipewire-headphones  the sink pinned to the headphones: played into, it
#                        reaches them crossfed while the speakers, the
#                        default device, get nothing
bus=${DBUS_SESSION_BUS_ADDRESS:-}
. "$(dirname "$0")/common.sh"
need pipewire wireplumber pipewire-pulse dbus-run-session pw-cli pw-link pw-record pw-play wpctl paplay mpv

case $host in
*-once) ;;
*)
    # The daemon keeps real time on a shared machine: a missed cycle drops a
    # quantum. Three tries, each from scratch, must not all miss.
    shift
    for attempt in 1 2 3; do
        if timeout -k 5 80 dbus-run-session -- "$0" "$host-once" "$@"; then exit 0; fi
        echo "attempt $attempt failed" >&2
    done
    exit 1 ;;
esac
[ -n "$bus" ] || fail "no D-Bus session"
export DBUS_SESSION_BUS_ADDRESS="$bus" LV2_PATH="$lv2_path"
headphones=alsa_output.usb-Test_Headphones-00.analog-stereo
speakers=alsa_output.pci-0000_00_1f.3.analog-stereo

# A user's drop-in folder: the shipped sink and the stand-in devices.
dropins="$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
mkdir -p "$dropins"
null_sink() {
    printf '{ factory = adapter args = { factory.name = support.null-audio-sink node.name = "%s"\n' "$1"
    printf '  node.description = "%s" media.class = Audio/Sink priority.session = %s object.linger = true\n' "$2" "$3"
    printf '  audio.position = [ FL FR ] monitor.channel-volumes = true } }\n'
}
case ${host%-once} in
pipewire-desktop)
    cp "$source_dir/pipewire/crossfeed-sink.conf" "$dropins/"
    { echo 'context.objects = ['; null_sink "$headphones" "Headphones" 1000; echo ']'; } >"$dropins/devices.conf"
    sink=effect_input.crossfeed ;;
pipewire-headphones)
    sed "s/alsa_output\.usb-Your_Headphones-00\.analog-stereo/$headphones/" \
        "$source_dir/pipewire/crossfeed-headphones-sink.conf" >"$dropins/crossfeed-headphones-sink.conf"
    grep -q "$headphones" "$dropins/crossfeed-headphones-sink.conf" || fail "the pinned device name is not in the file"
    { echo 'context.objects = ['; null_sink "$speakers" "Speakers" 2000; null_sink "$headphones" "Headphones" 1000
      echo ']'; } >"$dropins/devices.conf"
    sink=effect_input.crossfeed_headphones ;;
esac

# The session manager leaves the machine's own sound cards, Bluetooth
# headsets and cameras alone: the stand-ins are the only devices.
mkdir -p "$XDG_CONFIG_HOME/wireplumber/main.lua.d" "$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d"
printf '%s\n' "alsa_monitor.enabled = false" "v4l2_monitor.enabled = false" "libcamera_monitor.enabled = false" \
    >"$XDG_CONFIG_HOME/wireplumber/main.lua.d/51-no-devices.lua"
echo "bluez_monitor.enabled = false" >"$XDG_CONFIG_HOME/wireplumber/bluetooth.lua.d/51-no-devices.lua"

pipewire >"$work/pipewire.log" 2>&1 &
started="$!"
node_id() {
    timeout 5 pw-cli ls Node 2>/dev/null | awk -v name="\"$1\"" '$1 == "id" { id = $2; sub(",", "", id) }
                                                   $1 == "node.name" && $3 == name { print id }'
}
# Waits up to ten seconds for a node to appear; prints its id.
wait_node() {
    tries=0
    until id=$(node_id "$1") && [ -n "$id" ]; do
        tries=$((tries + 1)); [ $tries -lt 100 ] || { show "$work"/*.log; fail "no node $1"; }
        sleep 0.1
    done
    echo "$id"
}
# Waits up to ten seconds until pw-link lists a link from one port to another.
wait_link() {
    tries=0
    until timeout 5 pw-link -l | awk -v from="$1" -v to="$2" '$1 == from { port = 1; next }
                                     port && $1 == "|->" && $2 == to { found = 1 } $1 != "|->" { port = 0 }
                                     END { exit !found }'; do
        tries=$((tries + 1)); [ $tries -lt 100 ] || { timeout 5 pw-link -l >&2; show "$work"/*.log; fail "no link $1 -> $2"; }
        sleep 0.1
    done
}
wait_node "$headphones" >/dev/null
wireplumber >"$work/wireplumber.log" 2>&1 &
started="$! $started"
pipewire-pulse >"$work/pipewire-pulse.log" 2>&1 &
started="$! $started"
sink_id=$(wait_node "$sink")
[ "${host%-once}" = pipewire-headphones ] || timeout 5 wpctl set-default "$sink_id"
for channel in FL FR; do wait_link "effect_output.${sink#effect_input.}:output_$channel" "$headphones:playback_$channel"; done

# Silence around the sound: a recording starts a little late and may drop
# its last partial quantum.
"$tool" input "$work/in.wav" 48000 24000 12000 24000
program_controls "Bedroom studio" | { read -r level delay; reference "$work/in.wav" "$work/expected.wav" "$level" "$delay"; }

# record DEVICE NAME: records what reaches a device, in the background.
record() {
    pw-record --target "$1" -P "{ node.name = crossfeed-test-$2 stream.capture.sink = true }" --format f32 \
        --rate 48000 --channels 2 "$work/$2.wav" >"$work/$2.log" 2>&1 &
    recorder="$! ${recorder:-}"
    started="$recorder $started"
    for channel in FL FR; do wait_link "$1:monitor_$channel" "crossfeed-test-$2:input_$channel"; done
}
# play NAME COMMAND...: plays the input with a player and judges what arrived.
play() {
    name=$1; shift
    recorder=""
    record "$headphones" "$name"
    [ "${host%-once}" = pipewire-desktop ] || record "$speakers" "$name-speakers"
    bounded "$@" >"$work/$name-player.log" 2>&1 || { show "$work/$name-player.log"; fail "$name failed"; }
    sleep 0.3
    stop $recorder
    printf '%s through %s, at the headphones: ' "$host" "$name"
    "$tool" compare "$work/expected.wav" "$work/$name.wav" 0 align
    if [ "${host%-once}" = pipewire-headphones ]; then
        printf '%s through %s, at the speakers: ' "$host" "$name"
        "$tool" silent "$work/$name-speakers.wav"
    fi
}
case ${host%-once} in
pipewire-desktop)
    play paplay paplay "$work/in.wav"
    play pw-play pw-play "$work/in.wav"
    play mpv mpv --no-config --really-quiet --no-video --ao=pulse "$work/in.wav" ;;
pipewire-headphones)
    play pw-play pw-play --target "$sink" "$work/in.wav"
    play paplay paplay --device="$sink" "$work/in.wav"
    # Unplugged headphones take the pinned sink with them: it never falls
    # back to the speakers.
    timeout 5 pw-cli destroy "$(node_id "$headphones")" >/dev/null
    tries=0
    while [ -n "$(node_id effect_output.crossfeed_headphones)" ]; do
        tries=$((tries + 1)); [ $tries -lt 100 ] || fail "the pinned sink outlived the headphones"
        sleep 0.1
    done
    ! timeout 5 pw-link -l | grep -q '^effect_output\.crossfeed_headphones' || fail "the pinned sink is linked elsewhere"
    echo "$host: headphones unplugged: the pinned sink went with them, nothing reached the speakers" ;;
esac

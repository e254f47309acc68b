#!/bin/sh
# The CLAP plug-in file through programs that are not ours:
#   real_hosts.sh CHECK WORK_FOLDER CLAP_FILE PROJECT_FOLDER
# CHECK is clap-info (CLAP's own inspector, from $CLAP_INFO or
# ../shared/tools/clap-info beside the project), qtractor-clap (Qtractor's
# plug-in scanner) or exports (what the file exports and needs, read by
# binutils). Each writes only inside its own fresh folder under
# WORK_FOLDER; a check that cannot run here exits 77, saying why.
set -eu
check=$1 work=$2/$1 plugin=$3 project=$4
name=real_host_$check
[ "$check" = exports ] && name=clap_exports
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
skip() { echo "SKIP: $name: $1"; exit 77; }
fail() { echo "$name: $1" >&2; exit 1; }
bounded() { timeout -k 5 120 "$@"; }
json() { python3 - "$@"; }

case $check in
clap-info)
    tool=${CLAP_INFO:-$project/../shared/tools/clap-info/clap-info}
    [ -x "$tool" ] || skip "no clap-info at $tool (set CLAP_INFO to its path)"
    [ "$(uname -m)" = x86_64 ] || skip "clap-info is a Linux x86-64 program"
    command -v python3 >/dev/null || skip "python3 reads its report and is not installed"
    HOME=$work bounded "$tool" "$plugin" >"$work/info.json" 2>"$work/info.log" || { cat "$work/info.log" >&2; fail "clap-info failed"; }
    HOME=$work bounded "$tool" --preset-discovery "$plugin" >"$work/presets.json" 2>>"$work/info.log" ||
        { cat "$work/info.log" >&2; fail "clap-info --preset-discovery failed"; }
    json "$work/info.json" "$work/presets.json" <<'PYTHON'
import json, sys
info = json.load(open(sys.argv[1]))
presets = json.load(open(sys.argv[2]))
def expect(what, found, wanted):
    print(f"{what}: {found}")
    if found != wanted:
        sys.exit(f"{what}: expected {wanted}")
expect("plugins", info["plugin_count"], 1)
plugin = info["plugins"][0]
d = plugin["descriptor"]
expect("descriptor", (d["id"], d["name"], d["vendor"], d["features"]),
       ("org.crossfeed.crossfeed", "Crossfeed", "The Crossfeed developers", ["audio-effect", "stereo"]))
print(f"version: {d['version']}")
ext = plugin["extensions"]
params = ext["clap.params"]
expect("parameters", [(p["name"], p["values"]["min"], p["values"]["max"], p["values"]["default"], p["flags"])
                      for p in params["param-info"]],
       [("Level", 0.0, 100.0, 30.0, ["auto"]), ("Delay", 0.0, 512 / 44.1, 2.089796, ["auto"])])
ports = ext["clap.audio-ports"]
expect("audio ports", [(ports[f"{way}-port-count"], [(p["channel-count"], p["port-type"]) for p in ports[f"{way}-ports"]])
                       for way in ("input", "output")], [(1, [(2, "stereo")])] * 2)
expect("latency", ext["clap.latency"]["latency"], 0)
expect("state", (ext["clap.state"]["implemented"], ext["clap.state"]["bytes-written"]), (True, 28))
expect("preset loading", ext["clap.preset-load/2"]["implemented"], True)
found = [(p["name"], p["load_key"]) for provider in presets["preset-discovery"]["providers"]
         for location in provider["locations"] for p in location["presets"]]
expect("presets", found, [("Bedroom studio", "0"), ("Lounge room", "1"), ("Big Head", "2"), ("Car stereo", "3")])
PYTHON
    ;;
qtractor-clap)
    scanner=/usr/lib/x86_64-linux-gnu/qtractor/qtractor_plugin_scan
    [ -x "$scanner" ] || skip "$scanner is not installed (make check INSTALL_TEST_HOSTS=1 installs qtractor)"
    printf 'CLAP:%s\n' "$plugin" | HOME=$work XDG_CONFIG_HOME=$work XDG_CACHE_HOME=$work bounded "$scanner" \
        >"$work/scan.log" 2>&1 || { cat "$work/scan.log" >&2; fail "the scanner failed"; }
    line=$(grep '^CLAP|' "$work/scan.log" || true)
    echo "qtractor_plugin_scan: $line"
    # Name, audio inputs:outputs, MIDI inputs:outputs, parameters in:out.
    [ "$(echo "$line" | cut -d'|' -f1-5)" = "CLAP|Crossfeed|2:2|0:0|2:0" ] || fail "expected CLAP|Crossfeed|2:2|0:0|2:0"
    echo "$line" | cut -d'|' -f6 | grep -qw RT || fail "not real-time capable" ;;
exports)
    case $plugin in
    *.clap)
        if [ "$(head -c 2 "$plugin")" = MZ ]; then
            dump=x86_64-w64-mingw32-objdump
            command -v $dump >/dev/null || skip "$dump is not installed"
            $dump -p "$plugin" >"$work/dump"
            exported=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$work/dump" |
                sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
            needed=$(grep 'DLL Name:' "$work/dump" | awk '{ print tolower($3) }' | sort | tr '\n' ' ')
            echo "exports: $exported; needs: $needed"
            for dll in $needed; do
                case $dll in kernel32.dll|msvcrt.dll|user32.dll|advapi32.dll) ;; *) fail "needs $dll" ;; esac
            done
        else
            exported=$(nm -D --defined-only "$plugin" | awk '{ print $3 }')
            needed=$(objdump -p "$plugin" | awk '$1 == "NEEDED" { print $2 }' | sort | tr '\n' ' ')
            echo "exports: $exported; needs: $needed"
            for library in $needed; do
                case $library in libc.so.*|libm.so.*) ;; *) fail "needs $library" ;; esac
            done
        fi
        [ "$exported" = clap_entry ] || fail "exports more than clap_entry" ;;
    *) fail "not a .clap file: $plugin" ;;
    esac ;;
*)
    echo "unknown check $check" >&2; exit 2 ;;
esac

# Sourced by the host tests: runs the README's recipes as typed, from a copy
# of the repository's dist/ files, with a private HOME under the work folder.

readme="$(cd "$(dirname "$0")/../.." && pwd)/README.md"

# readme_block NAME: the lines of the shell block between
# <!-- recipe: NAME --> and <!-- end recipe --> in the README.
readme_block() {
    awk -v start="<!-- recipe: $1 -->" '
        $0 == start { inside = 1; next }
        inside && /^<!-- end recipe -->/ { exit }
        inside && !/^```/ { print }' "$readme"
}

# private_home WORK: HOME and XDG folders under WORK. Sockets (wine's,
# LMMS's VST server's, the session bus's) go under TMPDIR and
# XDG_RUNTIME_DIR, and a socket's path must fit in 108 bytes, so those two
# are a short folder under /tmp whatever the depth of WORK; drop_runtime
# removes it.
private_home() {
    export HOME="$1/home" XDG_CONFIG_HOME="$1/home/.config" XDG_CACHE_HOME="$1/home/.cache" \
           XDG_DATA_HOME="$1/home/.local/share" XDG_STATE_HOME="$1/home/.local/state"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME"
    runtime=$(mktemp -d "${TMPDIR:-/tmp}/cf.XXXXXX")
    if [ "${#runtime}" -gt 40 ]; then
        rmdir "$runtime"
        runtime=$(mktemp -d /tmp/cf.XXXXXX)
    fi
    export TMPDIR="$runtime" XDG_RUNTIME_DIR="$runtime"
    # A user's own settings (the Makefile exports WINEPREFIX) would lead the
    # recipe out of the private HOME.
    unset WINEPREFIX WINEARCH WINESERVER WINELOADER WINEDLLOVERRIDES WINEDEBUG \
          LXVST_PATH VST_PATH DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
}

drop_runtime() {
    [ -n "${runtime:-}" ] && rm -rf "$runtime"
    runtime=
}

# run_recipe NAME DIR [COMMAND...]: runs the README's block NAME with bash
# in DIR, stopping at its first failing line, then COMMAND in the same
# shell (it sees what the block exported), as the user in as_user if set,
# within limit seconds if set. Returns 3 when the block itself failed, else
# COMMAND's status.
run_recipe() {
    _name=$1 _dir=$2
    shift 2
    _block=$(readme_block "$_name")
    if [ -z "$_block" ]; then
        echo "README.md has no recipe '$_name'"
        return 3
    fi
    _done="$_dir/.recipe-$_name.done"
    rm -f "$_done"
    (cd "$_dir" && ${limit:+timeout -k 10 "$limit"} ${as_user:-} bash -e -c "$_block"'
: >"$1"; shift; [ $# -eq 0 ] || exec "$@"' recipe "$_done" "$@")
    _status=$?
    [ -f "$_done" ] || return 3
    rm -f "$_done"
    return $_status
}

# shellcheck shell=bash
# A private desktop session for a test of the real platform, sourced by the
# platform tests: a throw-away home, a virtual X server on a free display,
# and a session bus of its own. Everything started on that bus, by the test
# or by the bus itself, ends with the test.
#
#   session_start WIDTHxHEIGHT     sets work, out, HOME, XDG_*, DISPLAY and
#                                  DBUS_SESSION_BUS_ADDRESS
#   session_track PID              ends PID with the session
#   wait_for_line PATTERN FILE SECONDS
#
# The caller sets out (a folder for logs that is kept) before session_start,
# or takes the default beside the work folder.

session_pids=()

session_track() { session_pids+=("$1"); }

# Waits until FILE holds a line matching the extended PATTERN.
wait_for_line() {
    local pattern=$1 file=$2 tenths=$(( $3 * 10 )) i
    for ((i = 0; i < tenths; i++)); do
        grep -qE "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    grep -qE "$pattern" "$file" 2>/dev/null
}

session_end() {
    local i p left=() alive=()
    set +e
    for ((i = ${#session_pids[@]} - 1; i >= 0; i--)); do kill "${session_pids[i]}" 2>/dev/null; done
    for ((i = ${#session_pids[@]} - 1; i >= 0; i--)); do wait "${session_pids[i]}" 2>/dev/null; done
    # What the bus started for the programs under test (the shell has it
    # start telephony and thumbnail services): every process on this bus.
    for p in /proc/[0-9]*; do
        [ "${p#/proc/}" = $$ ] && continue
        grep -qzE "^DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus(,|$)" "$p/environ" 2>/dev/null && left+=("${p#/proc/}")
    done
    [ ${#left[@]} = 0 ] || kill "${left[@]}" 2>/dev/null
    for _ in $(seq 50); do
        alive=()
        for p in "${left[@]}"; do kill -0 "$p" 2>/dev/null && alive+=("$p"); done
        [ ${#alive[@]} = 0 ] && break
        sleep 0.1
    done
    [ ${#alive[@]} = 0 ] || kill -9 "${alive[@]}" 2>/dev/null
    [ -n "${PLATFORM_KEEP:-}" ] || rm -rf "$work"
}

session_start() {
    work=$(mktemp -d /tmp/varnolet-platform.XXXXXX)
    out=${out:-$work.out}
    mkdir -p "$out" "$work/home" "$work/runtime" "$work/share/applications"
    chmod 700 "$work/runtime"
    trap session_end EXIT

    export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime
    export XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache XDG_DATA_HOME=$HOME/.local/share
    export XDG_DATA_DIRS=$work/share:/usr/local/share:/usr/share
    # Settings in a file under XDG_CONFIG_HOME: no dconf service needed.
    export GSETTINGS_BACKEND=keyfile QT_SELECT=qt5
    unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY

    # The server picks a free display and says which.
    Xvfb -displayfd 9 -screen 0 "$1x24" -nolisten tcp 9>"$work/display" >"$out/xvfb.log" 2>&1 &
    session_track $!
    wait_for_line '^[0-9]+$' "$work/display" 10 || { echo "Xvfb did not start" >&2; return 1; }
    DISPLAY=:$(cat "$work/display")
    export DISPLAY

    dbus-daemon --session --address="unix:path=$work/bus" --nofork --print-address=1 \
        >"$work/bus.addr" 2>"$out/dbus.log" &
    session_track $!
    wait_for_line . "$work/bus.addr" 10 || { echo "the session bus did not start" >&2; return 1; }
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/bus
}

# shellcheck shell=bash
# Shell helpers for the scripts that start the app, CCO and X servers:
# source it, then call the functions.

# Fails with a message naming what holds it when something already accepts
# connections on CCO's address: the demo would test that program, not ours.
require_free_cco_port() {
    if (exec 3<>/dev/tcp/127.0.0.1/9999) 2>/dev/null; then
        echo "127.0.0.1:9999 is already taken, so CCO could not serve there:" >&2
        ss -ltnp 'sport = :9999' 2>/dev/null >&2 || true
        return 1
    fi
}

# Asks the process group $1 to quit (the app ends its event loop on
# SIGTERM), kills what is left after 5 s, and waits up to 10 s until none of
# its members is left, so that the next test finds CCO's port and the
# display free. An app that quit is reaped without the shell's job notice.
end_process_group() {
    local group=$1 soft=$((SECONDS + 5)) deadline=$((SECONDS + 10))
    kill -TERM -- "-$group" 2>/dev/null || return 0
    while ps -o stat= -g "$group" 2>/dev/null | grep -qv '^Z' && [ "$SECONDS" -lt "$soft" ]; do
        sleep 0.1
    done
    # The group may have gone meanwhile: that is no failure, and under
    # `set -e` it would end the caller's clean-up before its other groups
    # and its X server.
    kill -KILL -- "-$group" 2>/dev/null || true
    while ps -o stat= -g "$group" 2>/dev/null | grep -qv '^Z' && [ "$SECONDS" -lt "$deadline" ]; do
        sleep 0.1
    done
    wait "$group" 2>/dev/null || true
}

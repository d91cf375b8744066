# shellcheck shell=bash
# shellcheck disable=SC2154 # scratch and fail are the sourcing script's
# node_exporter with only its textfile collector, on a 127.0.0.1 port
# chosen here (another one where that one was taken in between), for the
# textfile test and the benchmark. Sets exporter_pid and url; needs
# `scratch` (a folder for its log) and `fail`.
exporter=$(command -v prometheus-node-exporter || command -v node_exporter)
exporter_pid=""

start_exporter() {
    local folder=$1 port
    for _ in 1 2 3 4 5; do
        port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        "$exporter" --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
            --collector.textfile --collector.textfile.directory="$folder" 2>"$scratch/exporter.log" &
        exporter_pid=$!
        for _ in $(seq 100); do
            if curl -sf "http://127.0.0.1:$port/metrics" -o /dev/null; then
                # shellcheck disable=SC2034 # read by the sourcing script
                url="http://127.0.0.1:$port/metrics"
                return 0
            fi
            kill -0 "$exporter_pid" 2>/dev/null || break
            sleep 0.1
        done
        stop_exporter
    done
    cat "$scratch/exporter.log" >&2
    fail "node_exporter did not start"
}

stop_exporter() {
    if [ -n "$exporter_pid" ]; then
        kill "$exporter_pid" 2>/dev/null || true
        wait "$exporter_pid" 2>/dev/null || true
    fi
    exporter_pid=""
}

#!/usr/bin/env bash
# A real textfile collector reads what `varnolet-provision status --textfile`
# writes: node_exporter on a free 127.0.0.1 port, scraped over HTTP, with a
# till's own file and with the files of 1,000 tills that a central host
# collects in one folder. Usage: test_textfile.sh BUILD_DIR
set -euo pipefail
build=$1
tool=$build/varnolet-provision
exporter=$(command -v prometheus-node-exporter || command -v node_exporter)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnolet.quindrel-textfile-XXXXXX")
exporter_pid=""
finish() {
    if [ -n "$exporter_pid" ]; then
        kill "$exporter_pid" 2>/dev/null || true
        wait "$exporter_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap finish EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

export XDG_DATA_HOME=$scratch/data
status=$XDG_DATA_HOME/varnolet.quindrel/status.json
mkdir -p "$(dirname "$status")" "$scratch/textfile"
now=$(date -Iseconds)
cat >"$status" <<JSON
{"version": "9.9.9", "state": "ready", "since": "$now", "heartbeat": "$now",
 "restarts24h": 1, "freeBytes": 123456789,
 "counters": {"restarts": {"exit": 1}, "rollbacks": 0},
 "installation": {"present": true, "checkPassed": true, "importedAt": "$now",
                  "previousKept": false, "trial": false, "sha256": "$(printf a%.0s {1..64})"},
 "update": {"pending": null, "last": null}, "hold": null}
JSON

# The till's own file: whole, readable by the collector, the status's exit code.
"$tool" status --textfile "$scratch/textfile" || fail "status --textfile of a ready till exited $?"
[ "$(stat -c %a "$scratch/textfile/varnolet.prom")" = 644 ] || fail "varnolet.prom is not mode 0644"
[ "$(find "$scratch/textfile" -type f | wc -l)" = 1 ] || fail "more than varnolet.prom was left"

# The exporter, on a port chosen here: another one where that one was
# taken in between.
start_exporter() {
    local folder=$1 port
    for _ in 1 2 3 4 5; do
        port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
        "$exporter" --web.listen-address="127.0.0.1:$port" --collector.disable-defaults \
            --collector.textfile --collector.textfile.directory="$folder" 2>"$scratch/exporter.log" &
        exporter_pid=$!
        for _ in $(seq 100); do
            if curl -sf "http://127.0.0.1:$port/metrics" -o /dev/null; then
                url="http://127.0.0.1:$port/metrics"
                return 0
            fi
            kill -0 "$exporter_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$exporter_pid" 2>/dev/null || true
        wait "$exporter_pid" 2>/dev/null || true
        exporter_pid=""
    done
    cat "$scratch/exporter.log" >&2
    fail "node_exporter did not start"
}
stop_exporter() {
    kill "$exporter_pid"
    wait "$exporter_pid" 2>/dev/null || true
    exporter_pid=""
}

start_exporter "$scratch/textfile"
scraped=$(curl -sf "$url")
grep -qx 'node_textfile_scrape_error 0' <<<"$scraped" || fail "the collector failed to read varnolet.prom"
grep -qx 'varnolet_up 1' <<<"$scraped" || fail "varnolet_up 1 is not in the scrape"
grep -qx 'varnolet_build_info{version="9.9.9"} 1' <<<"$scraped" || fail "no build info in the scrape"
grep -qx 'varnolet_cco_restarts_total{reason="exit"} 1' <<<"$scraped" || fail "no restart counter in the scrape"
grep -q '^# TYPE varnolet_cco_restarts_total counter$' <<<"$scraped" || fail "the restarts are no counter"
stop_exporter

# 1,000 tills' files in one folder, one of them unreadable, each with its
# own till label.
many=$scratch/many
mkdir -p "$many"
for till in $(seq 1 999); do
    "$tool" status --from "$status" --label "till=$till" --label store=s1 \
        --textfile "$many/till-$till.prom"
done
echo "{" >"$scratch/broken.json"
code=0
"$tool" status --from "$scratch/broken.json" --label till=1000 --label store=s1 \
    --textfile "$many/till-1000.prom" || code=$?
[ "$code" = 3 ] || fail "an unreadable status exited $code, not 3"
start_exporter "$many"
started=$(date +%s%N)
scraped=$(curl -sf "$url")
millis=$((($(date +%s%N) - started) / 1000000))
grep -qx 'node_textfile_scrape_error 0' <<<"$scraped" || fail "the collector failed on the 1,000 files"
ups=$(grep -c '^varnolet_up{' <<<"$scraped")
[ "$ups" = 1000 ] || fail "$ups tills' varnolet_up in the scrape, not 1000"
grep -qx 'varnolet_up{store="s1",till="1000"} 0' <<<"$scraped" || fail "the unreadable till is not down"
grep -qx 'varnolet_up{store="s1",till="17"} 1' <<<"$scraped" || fail "till 17 is not up"
stop_exporter
echo "1,000 tills' textfiles scraped in $millis ms"

#!/usr/bin/env bash
# A central host's node_exporter scraping the textfiles of many tills (one
# file each, written by `varnolet-provision status --textfile`), against
# the same exporter scraping one till's file; prints both medians and
# their ratio.
#
#   bench/textfiles.sh BUILD_DIR [TILLS] [RUNS]
set -euo pipefail

build=$(cd "${1:?usage: textfiles.sh BUILD_DIR [TILLS] [RUNS]}" && pwd)
tills=${2:-1000}
runs=${3:-9}
scratch=$(mktemp -d)
fail() {
    echo "$*" >&2
    exit 1
}
# shellcheck source=tests/monitoring/exporter.sh
. "$(dirname "$0")/../tests/monitoring/exporter.sh"
trap 'stop_exporter; rm -rf "$scratch"' EXIT

now=$(date -Iseconds)
cat >"$scratch/status.json" <<JSON
{"version": "bench", "state": "ready", "since": "$now", "heartbeat": "$now", "restarts24h": 0,
 "freeBytes": 1, "counters": {"restarts": {}, "rollbacks": 0},
 "installation": {"trial": false, "previousKept": true, "importedAt": "$now", "sha256": "ab"},
 "update": {"pending": null}, "hold": null}
JSON
mkdir -p "$scratch/one" "$scratch/many"
"$build/varnolet-provision" status --from "$scratch/status.json" --label till=1 \
    --textfile "$scratch/one/till-1.prom"
started=$(date +%s%N)
for till in $(seq "$tills"); do
    "$build/varnolet-provision" status --from "$scratch/status.json" --label "till=$till" \
        --textfile "$scratch/many/till-$till.prom"
done
echo "$tills textfiles written in $((($(date +%s%N) - started) / 1000000)) ms"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# Milliseconds of each of `runs` scrapes of the folder $1.
scrapes() {
    start_exporter "$1"
    for _ in $(seq "$runs"); do
        local start
        start=$(date +%s%N)
        curl -sf "$url" -o "$scratch/scraped"
        echo $((($(date +%s%N) - start) / 1000000))
    done
    grep -qx 'node_textfile_scrape_error 0' "$scratch/scraped" || fail "the scrape of $1 failed"
    stop_exporter
}
one=$(scrapes "$scratch/one" | median)
many=$(scrapes "$scratch/many" | median)
echo "scrape of $tills tills: $many ms; of one till: $one ms (medians of $runs)"
awk -v a="$many" -v b="$one" 'BEGIN { printf "ratio %.1f\n", (b > 0 ? a / b : a) }'

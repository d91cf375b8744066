#!/usr/bin/env bash
# A real textfile collector reads what `varnolet-provision status --textfile`
# writes: node_exporter on a free 127.0.0.1 port, scraped over HTTP, with a
# till's own file and with the files of 1,000 tills that a central host
# collects in one folder. Usage: test_textfile.sh BUILD_DIR
set -euo pipefail
build=$1
tool=$build/varnolet-provision
# shellcheck source=tests/monitoring/exporter.sh
. "$(dirname "$0")/exporter.sh"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/varnolet.quindrel-textfile-XXXXXX")
trap 'stop_exporter; rm -rf "$scratch"' EXIT
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

# A plugin's line ends its text at the first "|": a reason never holds one.
line=$("$tool" status --from "$scratch/no|such.json" || true)
[ "$(tr -cd '|' <<<"$line" | wc -c)" = 1 ] || fail "the plugin line has a '|' in its text: $line"

# The till's own file: whole, readable by the collector, the status's exit code.
"$tool" status --textfile "$scratch/textfile" || fail "status --textfile of a ready till exited $?"
[ "$(stat -c %a "$scratch/textfile/varnolet.prom")" = 644 ] || fail "varnolet.prom is not mode 0644"
[ "$(find "$scratch/textfile" -type f | wc -l)" = 1 ] || fail "more than varnolet.prom was left"

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
scraped=$(curl -sf "$url")
grep -qx 'node_textfile_scrape_error 0' <<<"$scraped" || fail "the collector failed on the 1,000 files"
ups=$(grep -c '^varnolet_up{' <<<"$scraped")
[ "$ups" = 1000 ] || fail "$ups tills' varnolet_up in the scrape, not 1000"
grep -qx 'varnolet_up{store="s1",till="1000"} 0' <<<"$scraped" || fail "the unreadable till is not down"
grep -qx 'varnolet_up{store="s1",till="17"} 1' <<<"$scraped" || fail "till 17 is not up"
stop_exporter

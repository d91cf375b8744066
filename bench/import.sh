#!/usr/bin/env bash
# Import of a 100 MB, 5,000-file CCO zip over an existing installation with
# varnolet-provision, against plain `unzip -o` of the same zip into an empty
# folder, alternately, several times; prints both medians and their ratio.
#
#   bench/import.sh BUILD_DIR [RUNS]
set -euo pipefail

build=$(cd "${1:?usage: import.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 5,000 files of 20 kB of random bytes (which zip stores as they are).
mkdir -p "$work/src/lib"
head -c 100000000 /dev/urandom | split -b 20000 -d -a 4 - "$work/src/lib/part"
printf '#!/bin/bash\necho bench\n' >"$work/src/run.sh"
(cd "$work/src" && zip -qr "$work/cco.zip" .)
echo "zip: $(du -m "$work/cco.zip" | cut -f1) MB, $(unzip -Z1 "$work/cco.zip" | wc -l) entries"

export XDG_DATA_HOME="$work/data"
provision="$build/varnolet-provision"
"$provision" import "$work/cco.zip" >/dev/null # the installation that is replaced

ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

: >"$work/import.times"
: >"$work/unzip.times"
for run in $(seq "$runs"); do
    start=$(ms)
    "$provision" import "$work/cco.zip" >/dev/null
    import_ms=$(($(ms) - start))

    rm -rf "$work/plain" && mkdir "$work/plain"
    start=$(ms)
    unzip -o -q "$work/cco.zip" -d "$work/plain"
    unzip_ms=$(($(ms) - start))

    echo "$import_ms" >>"$work/import.times"
    echo "$unzip_ms" >>"$work/unzip.times"
    echo "run $run: import over an installation $import_ms ms, unzip into an empty folder $unzip_ms ms"
done
import_median=$(median <"$work/import.times")
unzip_median=$(median <"$work/unzip.times")
echo "median of $runs: import $import_median ms, unzip $unzip_median ms, ratio" \
    "$(awk -v a="$import_median" -v b="$unzip_median" 'BEGIN { printf "%.3f", a / b }')"

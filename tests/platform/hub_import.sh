#!/bin/bash
# Imports through the real content-sharing service: the service on a
# private session bus, a source app that hands out files, and the app's main
# view over the real backend (tst_hubimport.qml in the QML test runner).
#
#   bash hub_import.sh BUILD_DIR
#
# Exits 77 (skipped) with the reason when this machine cannot run it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
source_id=varnolet-test-source
out=$build/platform/hub
rm -rf "$out"
mkdir -p "$out"

for program in content-hub-service qmlscene Xvfb dbus-daemon gsettings gdbus; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (scripts/setup.sh installs it)"; exit 77; }
done

# shellcheck source=tests/platform/session.sh
. "$here/session.sh"
session_start 800x1000

# The service, started by hand before anything asks for it: bus activation
# would start it without the AppArmor stand-in.
LD_PRELOAD=$build/tests/libaa_allow.so CONTENT_HUB_LOGGING_LEVEL=2 content-hub-service >"$out/hub.log" 2>&1 &
session_track $!
gdbus wait --session --timeout 10 com.lomiri.content.dbus.Service

# The source, registered for documents. At its start the service drops
# every registered peer that has no peer file; a peer registered before
# that pass would be lost.
wait_for_line 'RegistryUpdater::run' "$out/hub.log" 10 || { echo "the service never read its peers" >&2; exit 1; }
sleep 0.5
cat >"$work/share/applications/$source_id.desktop" <<EOF
[Desktop Entry]
Name=Test Source
Exec=/bin/true
Icon=/usr/share/icons/suru/apps/scalable/document-open-symbolic.svg
Terminal=false
Type=Application
X-Lomiri-Touch=true
EOF
gsettings set com.lomiri.content.hub.source documents "['$source_id']"
known() {
    gdbus call --session -d com.lomiri.content.dbus.Service -o / \
        -m com.lomiri.content.dbus.Service.KnownSourcesForType documents | grep -q "'$source_id', 'Test Source'"
}
for _ in $(seq 50); do known && break; sleep 0.1; done
known || { echo "the service does not list $source_id for documents" >&2; exit 1; }

# What the source hands out, request by request, in the order of the test's
# rows; the test writes the files. The service cannot start a source (that
# needs a systemd user instance), so it runs before the first request.
offered=$work/offered
mkdir -p "$offered" "$work/source"
url() { python3 -c 'import sys, urllib.parse; print("file://" + urllib.parse.quote(sys.argv[1]))' "$offered/$1"; }
cp "$here/hubsource.qml" "$work/source/"
cat >"$work/source/plan.js" <<EOF
.pragma library
var steps = ["charge:$(url 'cco install.zip')", "charge:$(url 'cco newer.zip')", "abort",
             "charge:$(url 'notes.txt')"]
EOF
APP_ID=$source_id qmlscene "$work/source/hubsource.qml" >"$out/source.log" 2>&1 &
session_track $!
wait_for_line 'SOURCE: ready' "$out/source.log" 10 || { echo "the source did not start" >&2; exit 1; }

# The app's side: the client library puts the copies it is given into its
# cache's HubIncoming folder, named after the application.
rc=0
APP_ID=varnolet.quindrel HUB_OFFERED=$offered timeout 240 "$build/tests/tst_qml" \
    -input "$here/tst_hubimport.qml" >"$out/test.log" 2>&1 || rc=$?
grep -E '^(PASS|FAIL|SKIP|Totals)|Loc:|   (Actual|Expected)' "$out/test.log" || true
[ "$rc" = 0 ] || { echo "logs in $out"; exit "$rc"; }

# The app told the service it was done with each transfer it was handed.
# The service then purges the transfer's folder where it lies in a .cache
# folder and still exists; the app has removed it already.
finalized=$(grep -c 'Transfer::Finalize()' "$out/hub.log" || true)
kept=$(grep -c ' is persistent$' "$out/hub.log" || true)
echo "transfers finalized: $finalized, of them kept by the service as persistent: $kept"
if [ "$finalized" != 4 ] || [ "$kept" != 0 ]; then
    echo "expected 4 transfers finalized, none persistent; logs in $out" >&2
    exit 1
fi

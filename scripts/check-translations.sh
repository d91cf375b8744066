#!/usr/bin/env bash
# Fails when a text marked for translation in src/ or qml/ has no
# translation in one of translations/*.ts. Works on copies in WORK_DIR, so
# the catalogues in the source tree are never rewritten by a build.
#
#   scripts/check-translations.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$1
work=$2
mkdir -p "$work"
status=0
for ts in "$source_dir"/translations/*.ts; do
    copy="$work/$(basename "$ts")"
    cp "$ts" "$copy"
    lupdate -silent -no-obsolete -locations none "$source_dir/src" "$source_dir/qml" -ts "$copy" >/dev/null
    missing=$(python3 - "$copy" <<'PY'
import sys
import xml.etree.ElementTree as tree
for message in tree.parse(sys.argv[1]).iter("message"):
    translation = message.find("translation")
    if translation is None or translation.get("type") == "unfinished" or not (translation.text or "").strip():
        print("    " + message.findtext("source"))
PY
)
    if [ -n "$missing" ]; then
        echo "$(basename "$ts") has no translation for:" >&2
        echo "$missing" >&2
        echo "Run: lupdate -no-obsolete -locations none src qml -ts $ts and translate them." >&2
        status=1
    fi
done
exit $status

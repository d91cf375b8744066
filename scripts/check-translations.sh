#!/usr/bin/env bash
# Fails when a text marked for translation in src/ or qml/ has no
# translation in one of translations/*.ts. The English catalogue holds only
# the plural forms of texts with a count: the sources are English already. Works on copies in WORK_DIR, so
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
    only=()
    [[ $ts == *_en.ts ]] && only=(-pluralonly)
    lupdate -silent -no-obsolete -locations none "${only[@]}" "$source_dir/src" "$source_dir/qml" -ts "$copy" >/dev/null
    missing=$(python3 - "$copy" <<'PY'
import sys
import xml.etree.ElementTree as tree
for message in tree.parse(sys.argv[1]).iter("message"):
    translation = message.find("translation")
    texts = [form.text for form in translation.iter("numerusform")] if translation is not None else []
    if translation is not None and not texts:
        texts = [translation.text]
    if translation is None or translation.get("type") == "unfinished" or not all((t or "").strip() for t in texts):
        print("    " + message.findtext("source"))
PY
)
    if [ -n "$missing" ]; then
        echo "$(basename "$ts") has no translation for:" >&2
        echo "$missing" >&2
        echo "Run: lupdate -no-obsolete -locations none ${only[*]} src qml -ts $ts and translate them." >&2
        status=1
    fi
done
exit $status

#!/bin/bash
# The restore tool in its interactive form: asks for the new POS prefix.
#   run_cco_restore.sh -ccoPath DIR
cd "$(dirname "$0")" || exit 1
exec "${JAVA_HOME:?JAVA_HOME is not set}/bin/java" -jar CCO_Restore.jar -interactive "$@"

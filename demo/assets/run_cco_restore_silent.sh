#!/bin/bash
# Gives the installation a new POS prefix without asking:
#   run_cco_restore_silent.sh -ccoPath DIR -prefix PREFIX
cd "$(dirname "$0")" || exit 1
exec "${JAVA_HOME:?JAVA_HOME is not set}/bin/java" -jar CCO_Restore.jar "$@"

#!/bin/bash
# Starts the CCO installation this script lies in, with the Java runtime
# named by JAVA_HOME.
cd "$(dirname "$0")" || exit 1
exec "${JAVA_HOME:?JAVA_HOME is not set}/bin/java" -cp lib/demo-cco.jar demo.DemoCco "$PWD"

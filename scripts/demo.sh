#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the app and the demo installation,
# and runs the app's main job on it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
exec bash scripts/run-demo.sh build

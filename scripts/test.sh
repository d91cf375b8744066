#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
# The tests that need a display start their own virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j2

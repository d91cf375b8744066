#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
# The tests that need a display start their own virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
# The X servers that run, an ended one its parent has not reaped yet not
# counted.
x_servers() { { ps -C Xvfb -o pid=,stat= || true; } | awk '$2 !~ /^Z/ { print $1 }' | sort; }
servers_before=$(x_servers)
ctest --test-dir build --output-on-failure -j2

# Every test ends what it started: nothing of the build (the app, CCO's
# runner, the demo CCO, varnolet-provision), nothing that runs from or in a
# test's temporary folder (stand-in CCOs and servers) and no X server of a
# test is left running.
scratch="${TMPDIR:-/tmp}/varnolet.quindrel-"
left=$(pgrep -a -f "$PWD/build/|$scratch" | grep -v -e "^$$ " -e pgrep || true)
for proc in /proc/[0-9]*; do
    case $(readlink "$proc/cwd" 2>/dev/null) in
    "$scratch"*) left+=$'\n'"${proc#/proc/} $(tr '\0' ' ' < "$proc/cmdline" 2>/dev/null) (in $(readlink "$proc/cwd"))" ;;
    esac
done
left=$(echo "$left" | sed '/^$/d')
servers=$(comm -13 <(echo "$servers_before") <(x_servers))
if [ -n "$left$servers" ]; then
    echo "Still running after the tests:" >&2
    [ -n "$left" ] && echo "$left" >&2
    [ -n "$servers" ] && ps -o pid=,args= -p "$(echo "$servers" | paste -sd,)" >&2
    exit 1
fi

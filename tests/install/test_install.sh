#!/usr/bin/env bash
# Installs the app into temporary prefixes and checks what a user and the
# device get: the plain install (launchers, desktop entry, icon, assets, and
# the installed app running from its launcher), and the click package.
#
#   test_install.sh SOURCE_DIR BUILD_DIR VERSION plain|click
#
# "plain" runs under a virtual X server (DISPLAY set) and serves on CCO's
# port; "click" only builds and reads the package.
set -euo pipefail

source_dir=$1 build=$2 version=$3 part=$4
source "$source_dir/scripts/processes.sh"
work=$(mktemp -d) app_pid="" checks=0 failures=0
trap '[ -n "$app_pid" ] && end_process_group "$app_pid"; rm -rf "$work"' EXIT

check() {
    local what=$1
    shift
    checks=$((checks + 1))
    "$@" && echo "ok: $what" && return
    echo "FAILED: $what" >&2
    failures=$((failures + 1))
}

desktop_value() { sed -n "s/^$2=//p" "$1"; }

# The page served on CCO's address.
get_page() {
    exec 3<>/dev/tcp/127.0.0.1/9999 || return 1
    printf 'GET / HTTP/1.0\r\n\r\n' >&3
    cat <&3
}

# ---- plain install
if [ "$part" = plain ]; then
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
desktop="$prefix/share/applications/varnolet.desktop"

check "desktop entry is valid" desktop-file-validate "$desktop"
check "desktop entry: the launcher, a touch app, its name" test "$(desktop_value "$desktop" Exec)|$(desktop_value "$desktop" X-Lomiri-Touch)|$(desktop_value "$desktop" Name)" = "varnolet|true|Varnolet"
check "desktop entry icon installed" test -s "$prefix/share/icons/hicolor/scalable/apps/$(desktop_value "$desktop" Icon).svg"

# The installed launchers run from any folder and find the installed assets:
# the runtime archive and the patch files.
export XDG_DATA_HOME="$work/data"
export GSETTINGS_BACKEND=memory
cd /
check "provisioning unpacks the runtime" "$prefix/bin/varnolet-provision" extract-jdk
check "provisioning imports the demo" "$prefix/bin/varnolet-provision" import "$build/demo/cco-demo.zip"
check "provisioning patches" "$prefix/bin/varnolet-provision" patch
check "provisioned installation passes the check" "$prefix/bin/varnolet-provision" check

check "CCO's runner beside the app" test -n "$(find "$prefix" -path '*/varnolet/varnolet-run' -perm -u+x)"

# The installed app, started by its launcher, counts down and starts CCO
# with its own settings, whatever it inherited.
require_free_cco_port
QTWEBENGINE_DISABLE_SANDBOX=0 QT_AUTO_SCREEN_SCALE_FACTOR=inherited setsid "$prefix/bin/varnolet" >"$work/app.log" 2>&1 &
app_pid=$!
page=""
for _ in $(seq 120); do
    page=$(get_page 2>/dev/null) && break
    sleep 0.5
done
check "the installed app started CCO, which serves its page" grep -q "Demo POS" <<<"$page"
cco_pid=$(grep -l -a 'demo[.]DemoCco' /proc/[0-9]*/cmdline 2>/dev/null | head -n1 | cut -d/ -f3) || true
check "CCO runs without the web view's sandbox" grep -qzx QTWEBENGINE_DISABLE_SANDBOX=1 "/proc/$cco_pid/environ"
check "CCO runs scaled to the screen" grep -qzx QT_AUTO_SCREEN_SCALE_FACTOR=true "/proc/$cco_pid/environ"
check "no module missing" bash -c "! grep -q 'is not installed' '$work/app.log'"

fi

# ---- click package
if [ "$part" = click ]; then
click_build="$work/click-build"
cmake -S "$source_dir" -B "$click_build" -DCLICK_MODE=ON -DBUILD_TESTING=OFF -DVARNOLET_DEMO=OFF -DVARNOLET_BENCH=OFF \
    -DVARNOLET_ASSETS_DIR="$build/demo/app/assets" >/dev/null
cmake --build "$click_build" -j1 >/dev/null
pkg="$work/pkg"
cmake --install "$click_build" --prefix "$pkg" >/dev/null

read -r name manifest_version architecture hook_desktop hook_apparmor < <(python3 -c 'import json, sys
m = json.load(open(sys.argv[1])); h = m["hooks"]["varnolet"]
print(m["name"], m["version"], m["architecture"], h["desktop"], h["apparmor"])' "$pkg/manifest.json")
check "manifest name, version, architecture" test "$name|$manifest_version|$architecture" = "varnolet.quindrel|$version|$(dpkg --print-architecture)"
check "desktop hook file in the package" test -s "$pkg/$hook_desktop"
check "package desktop entry: the app, a touch app" test "$(desktop_value "$pkg/$hook_desktop" Exec)|$(desktop_value "$pkg/$hook_desktop" X-Lomiri-Touch)" = "varnolet|true"
check "desktop entry icon in the package" test -s "$pkg/$(desktop_value "$pkg/$hook_desktop" Icon)"
check "apparmor policy is JSON with a template" python3 -c 'import json, sys
p = json.load(open(sys.argv[1])); assert p["template"] == "unconfined" and p["policy_version"] >= 16.04' \
    "$pkg/$hook_apparmor"
check "app at the package root" test -x "$pkg/varnolet"
check "CCO's runner beside the app" test -x "$pkg/varnolet-run"
check "assets at the package root" test -s "$pkg/assets/run.sh"
check "click package builds" bash -c 'cd "$1" && click build "$2" >/dev/null' - "$work" "$pkg"
click_file=$(compgen -G "$work/varnolet.quindrel_${version}_*.click" || true)
check "click package named after the manifest, read back" test "$(click info "$click_file" 2>&1 | python3 -c 'import json, sys; print(json.load(sys.stdin)["name"])' 2>&1)" = varnolet.quindrel

fi
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]

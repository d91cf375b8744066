#!/bin/bash
# The installed app inside the real Lomiri shell: the shell on Mir's X11
# platform in a virtual X server, on a private session bus, and the app as
# a Wayland client named by its installed desktop file, on the demo
# installation. Screenshots show the maintenance screen, then the demo
# CCO's page, filling the shell's application area; the app's lifecycle
# warning reads the shell's own setting.
#
#   bash shell_app.sh BUILD_DIR
#
# Exits 77 (skipped) with the reason when this machine cannot run it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
out=$build/platform/shell
rm -rf "$out"
mkdir -p "$out"

for program in lomiri Xvfb dbus-daemon gsettings import convert compare tesseract; do
    command -v "$program" >/dev/null || { echo "SKIP: $program is not installed (scripts/setup.sh installs it)"; exit 77; }
done
for file in /usr/lib/x86_64-linux-gnu/mir/server-platform/server-x11.so.20 \
    /usr/lib/x86_64-linux-gnu/qt5/plugins/platforms/libqwayland-generic.so; do
    [ -e "$file" ] || { echo "SKIP: $file is missing (scripts/setup.sh installs it)"; exit 77; }
done
# shellcheck source=scripts/processes.sh
. "$here/../../scripts/processes.sh"
require_free_cco_port

# shellcheck source=tests/platform/session.sh
. "$here/session.sh"
session_start 720x1280

# The app installed as a user gets it, on the demo installation. The
# countdown is long: the screen is looked at before CCO starts.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
desktop=$prefix/share/applications/varnolet.desktop
export XDG_DATA_DIRS=$prefix/share:$XDG_DATA_DIRS
(cd "$work" && "$prefix/bin/varnolet-provision" extract-jdk && "$prefix/bin/varnolet-provision" import "$build/demo/cco-demo.zip" \
    && "$prefix/bin/varnolet-provision" patch) >"$out/provision.log" 2>&1
mkdir -p "$XDG_CONFIG_HOME/varnolet.quindrel"
printf '[start]\ncountdown = 3600\n' >"$XDG_CONFIG_HOME/varnolet.quindrel/varnolet.conf"

# The shell as a till's runs it: a device of the phone type, upright, on
# the whole screen, where every app is staged and fills the screen below
# the panel. (Left to itself it takes the machine for a desktop, with
# windows.) The package's wrapper also sets MIR_SERVER_FILE, which this
# Mir refuses.
DEVICEINFO_DEVICE_PATH=$here/devices DEVICEINFO_DEVICE_NAME="Varnolet test till" \
    MIR_SERVER_X11_OUTPUT=720x1280 \
    QML_NO_TOUCH_COMPRESSION=1 QT_QPA_PLATFORM=mirserver WAYLAND_DISPLAY=wayland-0 \
    lomiri --mode=shell >"$out/lomiri.log" 2>&1 &
session_track $!
for _ in $(seq 300); do
    grep -q 'EdgeBarrierSettings' "$out/lomiri.log" && [ -S "$XDG_RUNTIME_DIR/wayland-0" ] && break
    sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/wayland-0" ] || { echo "the shell did not come up; logs in $out" >&2; exit 1; }

# The app, started directly (launching through the shell needs a systemd
# user instance), named by its desktop file; the shell's own settings say
# it may be suspended.
gsettings set com.canonical.qtmir lifecycle-exempt-appids "['some.other.app']"
DESKTOP_FILE_HINT=$desktop WAYLAND_DISPLAY=wayland-0 QT_QPA_PLATFORM=wayland \
    setsid "$prefix/bin/varnolet" >"$out/app.log" 2>&1 &
app=$!
trap 'end_process_group "$app"; session_end' EXIT
running='Application\["varnolet"\]::setInternalState\(state=Running\)'
wait_for_line "$running" "$out/lomiri.log" 30 || { echo "the shell did not take the app; logs in $out" >&2; exit 1; }
wait_for_line 'installation check passed' "$out/app.log" 30 || { echo "the app did not come up; logs in $out" >&2; exit 1; }

fail() { echo "shell_app: $*; pictures and logs in $out" >&2; exit 1; }
shot() { sleep 1; import -window root -display "$DISPLAY" "$out/$1.png"; }
# The share of a picture's pixels close to a colour.
share() { convert "$1" -alpha off -fuzz 10% -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:mean]' info:; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# Whether the app's window fills the screen ($1.png) below the shell's
# panel: the app's own picture of its window, asked for over the request
# channel, is as wide as the screen, at most a panel less high, and is what
# the screen shows there.
fills_area() {
    local width height own_width own_height differing
    "$prefix/bin/varnolet-provision" screenshot -o "$out/$1-own.png" >/dev/null
    read -r width height < <(identify -format '%w %h' "$out/$1.png")
    read -r own_width own_height < <(identify -format '%w %h' "$out/$1-own.png")
    echo "$1: the app's window is ${own_width}x$own_height on a ${width}x$height screen"
    [ "$own_width" = "$width" ] && [ "$own_height" -le "$height" ] && [ "$own_height" -ge $((height - 48)) ] || return 1
    convert "$out/$1.png" -crop "${own_width}x$own_height+0+$((height - own_height))" +repage "$out/$1-area.png"
    differing=$(compare -fuzz 8% -metric AE "$out/$1-area.png" "$out/$1-own.png" null: 2>&1 || true)
    echo "$1: $differing of its pixels differ on the screen"
    [ "$differing" -lt $((own_width * own_height / 100)) ]
}
# The text of the shell's panel, read from the screen.
panel_title() {
    convert "$out/$1.png" -crop 360x24+0+0 +repage -negate -resize 400% "$out/$1-panel.png"
    tesseract "$out/$1-panel.png" - 2>/dev/null | tr -d '\f' | sed '/^$/d'
}

shot maintenance
title=$(panel_title maintenance)
echo "maintenance: the panel reads \"$title\""
[ "$title" = Varnolet ] || fail "the shell's panel does not name the app"
fills_area maintenance || fail "the maintenance screen does not fill the shell's area"
above "$(share "$out/maintenance.png" "#008000")" 0.005 || fail "no green Run CCO button on the screen"
above "$(share "$out/maintenance.png" red)" 0.0002 || fail "no warning that the shell would suspend the app"
# The setting changed by another program, as the system settings or a
# fleet's tool change it: the warning goes.
gsettings set com.canonical.qtmir lifecycle-exempt-appids "['some.other.app', 'varnolet.quindrel']"
for _ in $(seq 20); do
    import -window root -display "$DISPLAY" "$out/exempt.png"
    above "$(share "$out/exempt.png" red)" 0.0002 || break
    sleep 0.5
done
above "$(share "$out/exempt.png" red)" 0.0002 && fail "the warning stays once the shell's setting lets the app run on"

# CCO asked for over the request channel, as a fleet asks: its page fills
# the shell's area.
"$prefix/bin/varnolet-provision" start --wait >"$out/start.log" 2>&1 || fail "start --wait: $(cat "$out/start.log")"
sleep 1
shot page
fills_area page || fail "CCO's page does not fill the shell's area"
above "$(share "$out/page.png" "#1565c0")" 0.3 || fail "the screen does not show the demo page"
"$prefix/bin/varnolet-provision" stop >/dev/null
echo "The app fills the shell's area and is named by it, warns from the shell's setting, and CCO's page fills the area too."

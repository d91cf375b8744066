#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need.
# Safe to run more than once: apt-get skips what is already installed.
set -euo pipefail

packages=(
    # toolchain
    build-essential cmake pkg-config
    # Qt 5 development
    qtbase5-dev qtdeclarative5-dev qtdeclarative5-dev-tools
    # libcrypto's SHA-256 for whole files (the processor's SHA instructions)
    libssl-dev
    # lupdate and lrelease for the translations, and Qt's own German
    qttools5-dev qttools5-dev-tools qttranslations5-l10n
    # QML modules the views import, and QtTest for the QML tests
    qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2
    qml-module-qtquick-layouts qml-module-qt-labs-settings qml-module-qttest
    qml-module-qtwebengine
    qml-module-lomiri-components qml-module-lomiri-content qml-module-gsettings1.0
    # ships the shell's com.canonical.qtmir settings schema
    qml-module-qtmir
    # keeps the screen on while CCO's page is shown
    qml-module-qtsysteminfo
    # child programs and a virtual display
    bash coreutils tar gzip unzip zip xvfb xauth x11-xserver-utils iproute2
    # Java for the demo installation and the shipped tools
    openjdk-17-jdk-headless
    # screenshots of the demo when it runs without a display
    imagemagick
    # checks of the installed tree and the click package; a real parser of
    # the status's Prometheus text
    desktop-file-utils click python3 python3-prometheus-client
    # promtool for the metrics and the alerting rules, and a real textfile
    # collector to scrape
    prometheus prometheus-node-exporter
    # the fleet's role, run against this machine, and its linter
    ansible-core ansible-lint
    # the real platform in the tests: the content-sharing service, and the
    # Lomiri shell on Mir's X11 platform with Wayland clients; a reader of
    # the shell's panel
    content-hub qmlscene lomiri qtmir-desktop mir-platform-graphics-x qtwayland5
    tesseract-ocr tesseract-ocr-eng
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

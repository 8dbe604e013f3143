#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
set -euo pipefail
packages=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev qtkeychain-qt6-dev gnome-keyring dbus libgl-dev libgtest-dev libgmock-dev python3
          dovecot-pop3d dovecot-core openssl xvfb xauth fonts-dejavu-core fonts-noto-color-emoji xdg-utils xdotool imagemagick clang)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Runs the secret-store test against a real Secret Service: a private D-Bus
# session with gnome-keyring-daemon, its login keyring made and unlocked for
# the test, in a home folder of its own.
#   secret_store_check.sh TEST_EXECUTABLE
set -euo pipefail
program="$1"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export PURGELET_TEST_SECRET_STORE=1
exec dbus-run-session -- bash -c '
    printf "keyring-password-for-the-test" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    gnome-keyring-daemon --start --components=secrets >/dev/null
    "$0"' "$program"

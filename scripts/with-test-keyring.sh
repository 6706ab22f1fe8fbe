#!/usr/bin/env bash
# Runs a command inside a private D-Bus session with a GNOME Keyring that is created for the run,
# unlocked, and thrown away afterwards, so tests never touch the user's own secrets.
set -euo pipefail
if [ -z "${ORVANE_KEYRING_INNER:-}" ]; then
    home=$(mktemp -d)
    trap 'rm -rf "$home"' EXIT
    export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$home/run"
    mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    ORVANE_KEYRING_INNER=1 dbus-run-session -- "$0" "$@"
    exit $?
fi
eval "$(printf 'orvane-test-keyring' | gnome-keyring-daemon --unlock --components=secrets --daemonize)"
export GNOME_KEYRING_CONTROL
export ORVANE_TEST_KEYRING=1
"$@"

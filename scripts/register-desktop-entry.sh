#!/usr/bin/env bash
# Registers Orvane's desktop entry for the current user: it appears among the applications, and
# the browser hands Orvane's sign-in redirects (its x-scheme-handler) to it.
#   register-desktop-entry.sh DESKTOP_FILE
# Honours XDG_DATA_HOME and XDG_CONFIG_HOME, so a private home can be used.
set -euo pipefail

entry=${1:?usage: register-desktop-entry.sh DESKTOP_FILE}
root=$(cd "$(dirname "$0")/.." && pwd)
data_home=${XDG_DATA_HOME:-$HOME/.local/share}
applications="$data_home/applications"
icons="$data_home/icons/hicolor/scalable/apps"

mkdir -p "$applications" "$icons"
install -m 644 "$entry" "$applications/orvane.desktop"
install -m 644 "$root/resources/icons/orvane-logo.svg" "$icons/orvane.svg"

scheme=$(sed -n 's|^MimeType=x-scheme-handler/\([^;]*\);.*|\1|p' "$entry")
xdg-mime default orvane.desktop "x-scheme-handler/$scheme"
update-desktop-database -q "$applications" 2>/dev/null || true
echo "Registered Orvane for $scheme: links in $applications/orvane.desktop"

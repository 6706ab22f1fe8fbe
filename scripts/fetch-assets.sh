#!/usr/bin/env bash
# Fetches the front-end assets the overlay draws with, pinned, into third_party/downloads (not
# committed): the Ubuntu font family (Ubuntu Font Licence 1.0) and the Lucide icons (ISC).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target="$root/third_party/downloads"
fonts="$target/ubuntu-fontface-0.1.13"
icons="$target/lucide-static-0.468.0"
if [ -f "$fonts/fonts/original-pack/Ubuntu-R.ttf" ] && [ -f "$icons/icons/eye.svg" ]; then
    exit 0
fi
command -v npm >/dev/null || "$root/scripts/setup.sh" npm
mkdir -p "$target"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent ubuntu-fontface@0.1.13 lucide-static@0.468.0 >/dev/null)
rm -rf "$fonts" "$icons"
mkdir -p "$fonts" "$icons"
tar -xzf "$work"/ubuntu-fontface-0.1.13.tgz -C "$fonts" --strip-components=1
tar -xzf "$work"/lucide-static-0.468.0.tgz -C "$icons" --strip-components=1

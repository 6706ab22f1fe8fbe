#!/usr/bin/env bash
# Fetches what the build takes from the npm registry, pinned, into third_party/downloads (not
# committed): the Ubuntu font family (Ubuntu Font Licence 1.0) and the Lucide icons (ISC) the
# overlay draws with, and whisper.cpp's source (MIT), which the nodejs-whisper package carries
# whole, for the second recognition pass.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target="$root/third_party/downloads"
fonts="$target/ubuntu-fontface-0.1.13"
icons="$target/lucide-static-0.468.0"
whisper="$target/whisper.cpp-1.9.1"
if [ -f "$fonts/fonts/original-pack/Ubuntu-R.ttf" ] && [ -f "$icons/icons/eye.svg" ] &&
    [ -f "$whisper/include/whisper.h" ]; then
    exit 0
fi
command -v npm >/dev/null || "$root/scripts/setup.sh" npm
mkdir -p "$target"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent ubuntu-fontface@0.1.13 lucide-static@0.468.0 nodejs-whisper@0.3.1 >/dev/null)
rm -rf "$fonts" "$icons" "$whisper"
mkdir -p "$fonts" "$icons" "$whisper"
tar -xzf "$work"/ubuntu-fontface-0.1.13.tgz -C "$fonts" --strip-components=1
tar -xzf "$work"/lucide-static-0.468.0.tgz -C "$icons" --strip-components=1
# whisper.cpp 1.9.1 sits in the package's cpp/whisper.cpp; its examples, bindings and samples are
# not needed.
tar -xzf "$work"/nodejs-whisper-0.3.1.tgz -C "$whisper" --strip-components=3 \
    --exclude='*/bindings' --exclude='*/samples' --exclude='*/models/*.bin' \
    package/cpp/whisper.cpp

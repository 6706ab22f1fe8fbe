#!/usr/bin/env bash
# Installs what is needed, builds Orvane and runs it; Orvane starts its bundled backend itself.
#   - With a desktop (DISPLAY or WAYLAND_DISPLAY set): registers Orvane's desktop entry for this
#     user (so the browser can hand the sign-in back) and runs Orvane. Answers come from the
#     offline samples, or from the model the environment names, for this run:
#       ANTHROPIC_API_KEY=... ./scripts/run.sh
#       OPENAI_BASE_URL=http://127.0.0.1:11434/v1 ORVANE_MODEL=llama3.2 ./scripts/run.sh
#     (Preferences sets them for good.)
#   - Without one: runs the headless demo on a virtual display and sound card and says where its
#     screenshots are.
# Arguments are passed on to Orvane.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

"$root/scripts/setup.sh"
"$root/scripts/fetch-assets.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target orvane orvane-backend orvane-screenshot

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No desktop session here (neither DISPLAY nor WAYLAND_DISPLAY is set):"
    echo "running the headless demo on a virtual display and sound card instead."
    exec python3 "$root/tools/demo/orvane_demo.py" --build "$build" --out "$root/demo-output"
fi

"$root/scripts/register-desktop-entry.sh" "$build/desktop/dev/orvane.desktop"
"$build/src/orvane" "$@"

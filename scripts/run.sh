#!/usr/bin/env bash
# Installs what is needed, builds Orvane and runs it against the bundled backend.
#   - With a desktop (DISPLAY or WAYLAND_DISPLAY set): starts orvane-backend on 127.0.0.1:8787
#     unless one already answers there, registers Orvane's desktop entry for this user (so the
#     browser can hand the sign-in back), and runs Orvane. The backend it started stops with it.
#   - Without one: runs the headless demo on a virtual display and sound card and says where its
#     screenshots are.
# Arguments are passed on to Orvane.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"
backend_origin="http://127.0.0.1:8787"

"$root/scripts/setup.sh"
"$root/scripts/fetch-assets.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target orvane orvane-backend orvane-screenshot

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No desktop session here (neither DISPLAY nor WAYLAND_DISPLAY is set):"
    echo "running the headless demo on a virtual display and sound card instead."
    exec python3 "$root/tools/demo/orvane_demo.py" --build "$build" --out "$root/demo-output"
fi

backend_answers() {
    python3 - "$backend_origin/healthz" <<'EOF'
import sys, urllib.request
try:
    with urllib.request.urlopen(sys.argv[1], timeout=1) as reply:
        sys.exit(0 if reply.status == 200 else 1)
except OSError:
    sys.exit(1)
EOF
}

backend_pid=
stop_backend() {
    if [ -n "$backend_pid" ]; then
        kill "$backend_pid" 2>/dev/null || true
        wait "$backend_pid" 2>/dev/null || true
    fi
}
trap stop_backend EXIT

if ! backend_answers; then
    data="${XDG_DATA_HOME:-$HOME/.local/share}/orvane-backend"
    log="$data/backend.log"
    mkdir -p "$data"
    # Offline answers and the development sign-in page: everything on this machine.
    "$build/backend/orvane-backend" --listen 127.0.0.1:8787 --data "$data" \
        --dev-identity-provider 2>>"$log" &
    backend_pid=$!
    for _ in $(seq 100); do
        backend_answers && break
        if ! kill -0 "$backend_pid" 2>/dev/null; then
            echo "orvane-backend did not start; its log is $log" >&2
            exit 1
        fi
        sleep 0.1
    done
    echo "orvane-backend is serving $backend_origin (log: $log)"
fi

"$root/scripts/register-desktop-entry.sh" "$build/desktop/dev/orvane.desktop"
"$build/src/orvane" "$@"

#!/usr/bin/env bash
# Installs the Debian packages that building and testing Orvane need, plus any package named on
# the command line, then (without arguments) fetches the overlay's fonts and icons. Safe to run
# again: it only asks apt and npm for what is missing. Runs as root, or through sudo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
    cmake ninja-build g++ pkg-config clang-format git
    nlohmann-json3-dev
    libgtest-dev libgmock-dev
    libcurl4-openssl-dev libbenchmark-dev openssl
    libcpp-httplib-dev libssl-dev libsqlite3-dev libpq-dev postgresql nginx-light
    libsecret-1-dev gnome-keyring dbus libsecret-tools
    python3 libpulse-dev libwebrtc-audio-processing-dev pulseaudio pulseaudio-utils libpocketsphinx-dev pocketsphinx-en-us
    libsamplerate0-dev espeak-ng sox
    libpoppler-cpp-dev libzip-dev qpdf
    libpipewire-0.3-dev gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-pipewire
    python3-gi gir1.2-glib-2.0
    qt6-base-dev qt6-svg-dev libgl-dev libx11-dev xvfb xauth xdotool openbox
    xdg-utils desktop-file-utils dpkg-dev file
    qt6-wayland sway xwayland pipewire wireplumber pipewire-pulse grim libglib2.0-bin zlib1g-dev
    xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk
    # Fonts a desktop commonly has, whose "monospace" can resolve to a proportional face.
    fonts-noto-mono gsfonts fonts-urw-base35 fonts-droid-fallback
 "$@"
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

install_missing() {
    [ ${#missing[@]} -gt 0 ] || return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
install_missing

# The assets the build compiles in; configuring never downloads them itself. (fetch-assets.sh
# asks this script for npm by name, which does not come back here.)
if [ $# -eq 0 ]; then
    "$root/scripts/fetch-assets.sh"
fi

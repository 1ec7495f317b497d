#!/usr/bin/env bash
# Debian 12 packages the build, the program and the tests need; sourced by scripts/run and scripts/test.
BREVICAM_PACKAGES=(
    build-essential cmake ninja-build pkg-config git clang-format
    libgtest-dev libgmock-dev
    qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libgl-dev
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
    gstreamer1.0-libav gstreamer1.0-tools gstreamer1.0-pulseaudio gstreamer1.0-x
    libpulse-dev pulseaudio pulseaudio-utils
    libcurl4-openssl-dev
    ffmpeg libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
    libopencore-amrnb-dev libvo-amrwbenc-dev libsamplerate0-dev
    libjpeg62-turbo-dev libpng-dev libtiff-dev libopenjp2-7-dev libgif-dev zlib1g-dev
    nlohmann-json3-dev
    binutils-mingw-w64-x86-64
    fonts-liberation2 fonts-dejavu-core fonts-wine
    python3 python3-pyftpdlib
    xvfb xauth xdg-utils libudev-dev xdotool x11-utils dbus
)

# Installs what is missing; safe to run again. Uses sudo when not root.
brevicam_install_packages() {
    local missing=()
    local p
    for p in "${BREVICAM_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [ -z "$(ls -A /var/lib/apt/lists 2>/dev/null | grep -v -e '^lock$' -e '^partial$' -e '^auxfiles$')" ]; then
        "${sudo[@]}" apt-get update
    fi
    if ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
        # Stale lists are the usual cause; refresh once and try again.
        "${sudo[@]}" apt-get update
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
    fi
}

#!/bin/sh
# Installs every Debian 12 package the project needs to build, test and run.
set -e
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkg-config \
    clang clang-format libclang-rt-14-dev \
    googletest libgtest-dev libgmock-dev \
    nlohmann-json3-dev \
    libpulse-dev pulseaudio pulseaudio-utils \
    lame twolame mpg123 \
    libcurl4-openssl-dev icecast2 ffmpeg \
    libuchardet-dev \
    pipewire pipewire-pulse wireplumber dbus playerctl \
    qt6-base-dev qt6-translations-l10n libcanberra-dev librsvg2-bin fonts-noto-cjk fonts-dejavu-core \
    dpkg-dev file desktop-file-utils appstream man-db \
    xvfb xauth at-spi2-core python3-pyatspi weston qt6-wayland xdotool openbox \
    linux-perf

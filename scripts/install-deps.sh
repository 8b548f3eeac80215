#!/bin/sh
# Installs every Debian 12 package the project needs to build, test and run.
set -e
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
    build-essential cmake ninja-build pkg-config \
    clang libclang-rt-14-dev \
    googletest libgtest-dev libgmock-dev \
    nlohmann-json3-dev \
    libpulse-dev pulseaudio pulseaudio-utils \
    qt6-base-dev libcanberra-dev librsvg2-bin fonts-noto-cjk fonts-dejavu-core \
    dbus playerctl

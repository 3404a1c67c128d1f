#!/usr/bin/env bash
# Installs the Debian 12 packages Moonshelf builds, runs and tests with.
# Quick when everything is present: apt is only asked when a package is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-multimedia-dev
  qt6-image-formats-plugins qcoro-qt6-dev qtkeychain-qt6-dev
  rapidjson-dev libsimdjson-dev libheif-dev libcurl4-openssl-dev
  libpocketsphinx-dev libsphinxbase-dev pocketsphinx-en-us pocketsphinx-testdata
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  libgl-dev libegl-dev libxkbcommon-dev libxcb-damage0-dev
  zsh bubblewrap gnome-keyring dbus dbus-x11 libsecret-tools tmux
  ffmpeg xvfb xdotool
  # A screen reader's client for the real-window accessibility test.
  at-spi2-core python3-pyatspi
  fonts-noto-color-emoji
  # The fuzz targets: libFuzzer comes with clang.
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

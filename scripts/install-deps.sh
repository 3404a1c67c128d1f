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
  libgl-dev libegl-dev libxkbcommon-dev libxcb-damage0-dev libxcb-xtest0-dev
  zsh bubblewrap gnome-keyring dbus dbus-x11 libsecret-tools tmux
  ffmpeg xvfb xdotool xdg-utils
  # A screen reader's client for the real-window accessibility test.
  at-spi2-core python3-pyatspi
  fonts-noto-color-emoji
  # The CJK font a user of that script has: the long-paragraph and first-frame
  # benchmarks measure with it, not with fallback boxes.
  fonts-noto-cjk
  # The video frame benchmark measures the stage's scaler against these.
  libyuv-dev libswscale-dev
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
  # A fresh machine's daily updates hold apt's locks for minutes: wait for
  # them (up to 15 min) rather than fail at once. apt-get install waits by
  # itself; apt-get update does not wait for the lists lock, so it is retried
  # while that lock is what stops it.
  lock=(-o DPkg::Lock::Timeout=900)
  errors=$(mktemp)
  trap 'rm -f "$errors"' EXIT
  until_time=$((SECONDS + 900))
  until apt-get "${lock[@]}" update 2>"$errors"; do
    cat "$errors" >&2
    if ! grep -q 'Unable to lock\|Could not get lock' "$errors" || [ $SECONDS -ge $until_time ]; then
      exit 1
    fi
    echo "Waiting for another package manager to finish..." >&2
    sleep 5
  done
  cat "$errors" >&2
  apt-get "${lock[@]}" install -y --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs what is missing, builds the app, installs its launcher entry and
# icons for this user, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)" --target moonshelf
bash scripts/install-desktop-entry.sh build/src/window/moonshelf
exec build/src/window/moonshelf "$@"

#!/usr/bin/env bash
# Installs what is missing, builds the app, installs its launcher entry and
# icons for this user, and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# No debug info: with it the 70 statically linked test programs fill several gigabytes.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG"
cmake --build build --parallel "$(nproc)" --target moonshelf
bash scripts/install-desktop-entry.sh build/src/window/moonshelf
exec build/src/window/moonshelf "$@"

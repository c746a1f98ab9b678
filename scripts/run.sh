#!/usr/bin/env bash
# Builds Corvane (Release) and starts it. Missing packages are installed as root (through sudo
# for an ordinary user); the build and Corvane itself run as the user who ran the script, also
# when that user started it with sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    exec runuser -u "$SUDO_USER" -- "$0" "$@"
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release --target corvane
exec build/release/app/corvane "$@"

#!/usr/bin/env bash
# Builds Corvane (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release --target corvane
exec build/release/app/corvane "$@"

#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window listing the demo devices, in private namespaces.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release --target corvane-screenshot corvane-devsim
QT_QPA_PLATFORM=offscreen tests/netns-run.sh bash -c '
    nsenter --net="/run/netns/$CORVANE_NETNS_DEV1" build/release/tools/devsim/corvane-devsim \
        --devices docs/demo-devices.json --own-addresses 2>/dev/null &
    sleep 0.5
    build/release/tools/screenshot/corvane-screenshot docs/screenshot.png'

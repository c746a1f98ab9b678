#!/usr/bin/env bash
# Shows Corvane at work without cameras: corvane-devsim plays a dozen devices of both
# families in a private network namespace, and Corvane runs in another one joined to it by a
# virtual cable. Nothing reaches your real network. Run it from a desktop session, as root or
# as an ordinary user where user namespaces are allowed; in Corvane choose the adapter
# "veth1: 10.77.1.1" and press "Device Search".
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release --target corvane corvane-devsim
exec tests/netns-run.sh bash -c '
    nsenter --net="/run/netns/$CORVANE_NETNS_DEV1" build/release/tools/devsim/corvane-devsim \
        --devices docs/demo-devices.json --own-addresses 2>/dev/null &
    build/release/app/corvane'

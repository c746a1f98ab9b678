#!/usr/bin/env bash
# Runs one test inside private network namespaces, so that nothing it sends can reach a real
# network. The test runs in a "host" namespace joined by a veth pair to each of two "device"
# namespaces:
#   host veth1 10.77.1.1/24  <->  dev1 eth0 10.77.1.2/24
#   host veth2 10.77.2.1/24  <->  dev2 eth0 10.77.2.2/24
# The namespaces' names reach the test in CORVANE_NETNS_HOST, CORVANE_NETNS_DEV1 and
# CORVANE_NETNS_DEV2; everything is removed when the test ends.
#
# As root the namespaces are made directly. An ordinary user gets them inside a user namespace
# of its own (root there, nobody outside), with a private /run for "ip netns". Where neither is
# possible the test is skipped with exit code 77: it never runs on the real network.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    if ! unshare --user --map-root-user --net --mount true 2>/dev/null; then
        echo "SKIP: private network namespaces need root or unprivileged user namespaces (Debian: sysctl kernel.unprivileged_userns_clone=1)" >&2
        exit 77
    fi
    CORVANE_NETNS_USERNS=1 exec unshare --user --map-root-user --net --mount "$0" "$@"
fi
if [ -n "${CORVANE_NETNS_USERNS:-}" ]; then
    # Left set: it tells tests that they run without real privileges.
    # "ip netns add" needs a writable /run/netns; the real /run belongs to the real root. The
    # user's runtime folder (display and session sockets, for the demo) is carried over.
    runtime=${XDG_RUNTIME_DIR:-}
    [ -n "$runtime" ] && [ -d "$runtime" ] && keep=$(mktemp -d) && mount --bind "$runtime" "$keep" || keep=
    mount -t tmpfs tmpfs /run
    if [ -n "$keep" ]; then
        mkdir -p "$runtime"
        mount --move "$keep" "$runtime"
        rmdir "$keep"
    fi
fi

id="corvane-$$-$RANDOM"
host="$id-host"
devs=("$id-dev1" "$id-dev2")

# "ip -n" and "ip netns exec" remount / and /sys, which fails in a chroot; nsenter does not.
in_ns() {
    local ns=$1
    shift
    nsenter --net="/run/netns/$ns" "$@"
}

cleanup() {
    for ns in "$host" "${devs[@]}"; do
        ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
        ip netns del "$ns" 2>/dev/null || true
    done
}
trap cleanup EXIT

ip netns add "$host"
in_ns "$host" ip link set lo up
i=0
for dev in "${devs[@]}"; do
    i=$((i + 1))
    ip netns add "$dev"
    in_ns "$dev" ip link set lo up
    in_ns "$host" ip link add "veth$i" type veth peer name eth0 netns "$dev"
    in_ns "$host" ip addr add "10.77.$i.1/24" dev "veth$i"
    in_ns "$dev" ip addr add "10.77.$i.2/24" dev eth0
    in_ns "$host" ip link set "veth$i" up
    in_ns "$dev" ip link set eth0 up
    # Devices answer to the limited broadcast, which needs a route to leave by.
    in_ns "$dev" ip route add default dev eth0
done
in_ns "$host" ip route add default dev veth1

# Wait for the carriers, or the first broadcasts are lost.
for _ in $(seq 50); do
    up=$(in_ns "$host" ip -o link show up | grep -c 'veth.*state UP' || true)
    [ "$up" -eq 2 ] && break
    sleep 0.05
done

export CORVANE_NETNS_HOST="$host" CORVANE_NETNS_DEV1="${devs[0]}" CORVANE_NETNS_DEV2="${devs[1]}"
in_ns "$host" "$@"

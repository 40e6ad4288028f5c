#!/bin/sh
# Runs a command inside a private network namespace that looks like a small
# LAN: a veth pair va/vb carrying 192.0.2.1/24 and 192.0.2.2/24, with
# multicast and broadcast routed over va. Nothing leaves this machine.
# Exits 77 (CTest's skip code) where namespaces are not allowed.
if [ "${SENTROVA_IN_NETNS:-}" != 1 ]; then
    if ! unshare -n true 2>/dev/null; then
        echo "SKIP: private network namespaces are not allowed here (needs root or user namespaces)" >&2
        exit 77
    fi
    SENTROVA_IN_NETNS=1 exec unshare -n -- "$0" "$@"
fi
set -e
ip link set lo up
ip link add va type veth peer name vb
ip addr add 192.0.2.1/24 broadcast 192.0.2.255 dev va
ip addr add 192.0.2.2/24 broadcast 192.0.2.255 dev vb
ip link set va up
ip link set vb up
ip route add 224.0.0.0/4 dev va
ip route add default dev va
set +e
exec "$@"

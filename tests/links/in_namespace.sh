#!/bin/sh
# Runs a test program in a network and mount namespace of its own (made by
# the caller: unshare -n -m): lo up with a route for IPv4 groups, a veth
# pair for IPv6 groups (IPv6 multicast does not loop back on lo) with an
# IPv4 subnet for broadcasts, and an /etc/hosts where both.test has both
# families.
set -e
ip link set lo up
ip route add 224.0.0.0/4 dev lo
ip link add kv0 type veth peer name kv1
# No duplicate address detection: the link-local addresses are usable at once.
for side in kv0 kv1; do
    echo 0 >/proc/sys/net/ipv6/conf/$side/accept_dad
    ip link set $side up
done
ip addr add 10.9.0.1/24 dev kv0
ip route add default dev kv0
hosts=$(mktemp)
printf '127.0.0.1 localhost both.test\n::1 localhost both.test\n' >"$hosts"
mount --bind "$hosts" /etc/hosts
# The link-local address of kv0 appears once the link is up.
for i in $(seq 50); do
    ip -6 addr show dev kv0 | grep -q 'inet6 fe80' && break
    sleep 0.1
done
exec "$@"

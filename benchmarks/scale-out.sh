#!/bin/sh
# Capacity per core, side by side in one run: one class service instance with
# its own TLS, two instances behind HAProxy (TLS at HAProxy, PROXY protocol v2
# to the instances) and nginx answering the same status reply from memory,
# each server pinned to core 0 and h2load to core 1 (benchmarks/README.md).
#
#   benchmarks/scale-out.sh [--quick] [--service BINARY] [--postgres] [--baseline NAME=BINARY] [--rounds N]
#   benchmarks/scale-out.sh --install     # installs the load generator and servers
#
# Runs as root in network and mount namespaces of its own (a loopback of its
# own, where the listen queue and port range may be raised, and a /tmp of its
# own); exits 77 where that is refused.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
packages="nghttp2-client haproxy nginx-light python3 util-linux iproute2"

if [ "${1-}" = --install ]; then
    apt-get install -y --no-install-recommends $packages
    exit
fi

missing=
for tool in h2load haproxy nginx python3 taskset unshare ip; do
    command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "$missing" ]; then
    echo "scale-out: missing$missing; install them with: apt-get install $packages" \
        "(or $0 --install)" >&2
    exit 77
fi

if [ -z "${KT_SCALE_OUT_INSIDE-}" ]; then
    if [ "$(id -u)" != 0 ] || ! unshare --net --mount true 2>/dev/null; then
        echo "scale-out: needs root for network namespaces of its own; skipped" >&2
        exit 77
    fi
    KT_SCALE_OUT_INSIDE=1 exec unshare --net --mount --fork "$0" "$@"
fi

# Inside: only this namespace's loopback and settings change.
ip link set lo up
sysctl -q -w net.core.somaxconn=65535 net.ipv4.tcp_max_syn_backlog=65535 \
    net.ipv4.ip_local_port_range="1024 65535"
mount -t tmpfs tmpfs /tmp  # nothing of a run stays behind
ulimit -n "$(ulimit -Hn)"
exec python3 "$here/scale_out.py" "$@"

#!/usr/bin/env bash
# An internet gateway with UPnP for the port-mapping tests, in a network
# namespace of its own: the loopback, a LAN link to the test's namespace and
# an external link that leads nowhere, an nftables table for the mapping
# daemon, and miniupnpd in the foreground.
#
#   upnp_gateway.sh DIR PID [EXTERNAL_ADDRESS]
#
# DIR receives the daemon's configuration and log (gateway.log); PID is a
# process in the test's network namespace, which gains the LAN link lan1 at
# 10.77.0.2/24 with a multicast route into it. The gateway is 10.77.0.1 on
# lan0; its external link ext0 has the documentation address 192.0.2.1,
# which the daemon reports as reserved unless EXTERNAL_ADDRESS (a text in
# its configuration only) stands in for it. The script ends as the daemon:
# ending that process ends the gateway and its namespace. Nothing it makes
# can reach a real network: both namespaces have no way out.
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  [ $# -ge 2 ] || { echo "usage: $0 DIR PID [EXTERNAL_ADDRESS]" >&2; exit 2; }
  exec unshare --net -- "$0" --inside "$1" "$2" "${3:-}"
fi
dir=$2
lan_pid=$3
external=$4

ip link set lo up

ip link add lan0 type veth peer name lan1 netns "$lan_pid"
ip addr add 10.77.0.1/24 dev lan0
ip link set lan0 up
nsenter --net="/proc/$lan_pid/ns/net" sh -c \
  'ip addr add 10.77.0.2/24 dev lan1 && ip link set lan1 up && ip route add 224.0.0.0/4 dev lan1'

# veth in place of a dummy interface: both ends stay here.
ip link add ext0 type veth peer name ext1
ip addr add 192.0.2.1/24 dev ext0
ip link set ext1 up
ip link set ext0 up

# The chains the daemon's nftables back end writes into (its own set-up
# script expects iptables).
nft -f - <<'RULES'
table inet filter {
  chain forward {
    type filter hook forward priority 0; policy accept;
    jump miniupnpd
  }
  chain miniupnpd {
  }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
  }
  chain prerouting_miniupnpd {
  }
  chain postrouting_miniupnpd {
  }
}
RULES

{
  echo "ext_ifname=ext0"
  echo "listening_ip=lan0"
  echo "port=0"
  echo "enable_natpmp=no"
  echo "enable_upnp=yes"
  echo "secure_mode=no"
  echo "system_uptime=yes"
  echo "uuid=3c0a5e52-7f7e-4c39-9b1e-0f6d2b7a0c11"
  if [ -n "$external" ]; then echo "ext_ip=$external"; fi
  echo "allow 1024-65535 10.77.0.0/24 1024-65535"
  echo "deny 0-65535 0.0.0.0/0 0-65535"
} > "$dir/miniupnpd.conf"

exec miniupnpd -d -f "$dir/miniupnpd.conf" -P "$dir/miniupnpd.pid" > "$dir/gateway.log" 2>&1

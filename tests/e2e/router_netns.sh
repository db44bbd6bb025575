# A camera behind a router, in network namespaces of the caller's own
# (sourced by by_address_netns_test.sh and bench/by_address_figures.py's
# runs):
#
#   [pc ns] pc0 192.0.2.1/24 ---veth--- r0 192.0.2.254/24 [router ns] r1 198.51.100.1/24 ---veth--- cam0 [cam ns]
#           route 198.51.100.0/24 via 192.0.2.254           ip_forward=1                  198.51.100.10/24, default via 198.51.100.1
#
# Multicast stays on each link (TTL 1, no multicast routing). Sets pc, router,
# cam (the namespace names, with the caller's pid) and inns NS COMMAND...;
# router_down deletes the namespaces.
id=${id:-$$}
pc=sv-bapc-$id router=sv-bart-$id cam=sv-bacam-$id
inns() { local ns=$1; shift; nsenter --net="/run/netns/$ns" "$@"; }
router_down() { for ns in "$pc" "$router" "$cam"; do ip netns del "$ns" 2>/dev/null || true; done; }
router_up() {
  ip netns add "$pc" || return 1
  ip netns add "$router" && ip netns add "$cam" || return 1
  inns "$router" ip link add r0 type veth peer name pc0
  inns "$router" ip link add r1 type veth peer name cam0
  inns "$router" ip link set pc0 netns "$pc"
  inns "$router" ip link set cam0 netns "$cam"
  for ns in "$pc" "$router" "$cam"; do
    inns "$ns" ip link set lo up
    inns "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1
  done
  inns "$router" ip addr add 192.0.2.254/24 dev r0
  inns "$router" ip addr add 198.51.100.1/24 dev r1
  inns "$router" ip link set r0 up
  inns "$router" ip link set r1 up
  inns "$router" sysctl -qw net.ipv4.ip_forward=1
  inns "$pc" ip addr add 192.0.2.1/24 dev pc0
  inns "$pc" ip link set pc0 up
  inns "$pc" ip route add 198.51.100.0/24 via 192.0.2.254
  inns "$pc" ip route add 224.0.0.0/4 dev pc0
  inns "$cam" ip addr add 198.51.100.10/24 dev cam0
  inns "$cam" ip link set cam0 up
  inns "$cam" ip route add default via 198.51.100.1
  inns "$cam" ip route add 224.0.0.0/4 dev cam0
}

#!/usr/bin/env bash
# Cameras at foreign-subnet and duplicate addresses, found and re-addressed
# over real multicast between network namespaces:
#
#   [pc ns] pc0 10.55.0.2/24 ---veth--- [bridge ns] br0 ---veth--- cam0 [cam ns]
#                                                     192.168.0.20 (one camera)
#                                                     192.168.0.30 (two cameras)
#
# The PC side is set up as a user's machine needs it (docs/protocol.md, "On a
# real network"): a default route and the loose reverse-path filter, so that
# answers from 192.168.0.x are not dropped, and a multicast route.
# Usage: netns_test.sh BUILD_DIR. Exit 77 (skipped) where namespaces cannot
# be made. Nothing leaves the namespaces; they are removed on exit.
set -euo pipefail
build=${1:?usage: netns_test.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
camd=$build/src/camd/sentrova-camd
cli=$build/src/cli/sentrova-cli

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null || skip "needs iproute2"
command -v python3 >/dev/null || skip "needs python3"
[ -x "$camd" ] && [ -x "$cli" ] || skip "sentrova-camd or sentrova-cli not built"

id=$$
pc=sv-pc-$id cam=sv-cam-$id br=sv-br-$id
work=$(mktemp -d)
camd_pid=
cleanup() {
  set +e
  if [ -n "$camd_pid" ]; then kill "$camd_pid" 2>/dev/null; wait "$camd_pid" 2>/dev/null; fi
  for ns in "$pc" "$cam" "$br"; do ip netns del "$ns" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$br" 2>/dev/null || skip "cannot create network namespaces here"
ip netns add "$pc"
ip netns add "$cam"

inns() { local ns=$1; shift; ip netns exec "$ns" "$@"; }
fail() { echo "FAIL: $*"; echo "--- simulator log"; cat "$work/camd.log" 2>/dev/null; exit 1; }

# Flood multicast: there is no IGMP querier on this little LAN.
inns "$br" ip link add br0 type bridge mcast_snooping 0
inns "$br" ip link set br0 up
for side in pc cam; do
  ns=${!side}
  inns "$br" ip link add "b$side" type veth peer name "${side}0"
  inns "$br" ip link set "${side}0" netns "$ns"
  inns "$br" ip link set "b$side" master br0 up
  inns "$ns" ip link set lo up
  inns "$ns" ip link set "${side}0" up
  inns "$ns" sysctl -qw net.ipv4.conf.all.rp_filter=2 "net.ipv4.conf.${side}0.rp_filter=2"
  inns "$ns" ip route add 224.0.0.0/4 dev "${side}0"
done
inns "$pc" ip addr add 10.55.0.2/24 dev pc0
inns "$pc" ip route add default via 10.55.0.1 dev pc0
# The cameras' factory addresses, and the address one of them is moved to.
for address in 192.168.0.20/24 192.168.0.30/24 10.55.0.30/24; do inns "$cam" ip addr add "$address" dev cam0; done
inns "$cam" ip route add default via 192.168.0.1 dev cam0

port=$(python3 -c 'import random; print(random.randint(30000, 60000))')
cat >"$work/fleet.json" <<'JSON'
{"cameras": [
  {"mac": "0.12.34.5.0.20", "family": 2, "caption": "Factory", "wireless": true,
   "settings": {"SysIPAddress": "192.168.0.20", "SysDefaultGateway": "192.168.0.1"}},
  {"mac": "0.12.34.5.0.30", "family": 2, "caption": "Twin A", "settings": {"SysIPAddress": "192.168.0.30"}},
  {"mac": "0.12.34.5.0.31", "family": 2, "caption": "Twin B", "settings": {"SysIPAddress": "192.168.0.30"}}]}
JSON
# Started directly (not through inns), so that $! is the simulator itself.
ip netns exec "$cam" "$camd" --fleet "$work/fleet.json" --interface cam0 --discovery-port "$port" --restart-ms 300 \
  --answer-spread-ms 20 \
  --log "$work/camd.log" </dev/null >/dev/null 2>&1 &
camd_pid=$!
for _ in $(seq 1 200); do grep -q "sim ready" "$work/camd.log" 2>/dev/null && break; sleep 0.1; done
grep -q "sim ready" "$work/camd.log" || fail "the simulator did not start"

rows() { python3 -c 'import json,sys; [print(c["mac"], c["address"]) for c in json.load(sys.stdin)]'; }
# The rows of a search that found `expected`; a search ends on a quiet
# period, so a late answer on a busy machine gets two more searches.
search_for() {
  local expected=$1 attempt
  for attempt in 1 2 3; do
    found=$(inns "$pc" "$cli" search --interface pc0 --json --port "$port" | rows | sort)
    [ "$found" = "$expected" ] && return 0
  done
  return 1
}

expected=$'00 0C 22 05 00 14 192.168.0.20\n00 0C 22 05 00 1E 192.168.0.30\n00 0C 22 05 00 1F 192.168.0.30'
search_for "$expected" || fail "search found:
$found"
echo "ok: foreign-subnet and duplicate-address cameras found over multicast"

owners=$(inns "$pc" python3 "$here/netns_mac_driver.py" who-has 10.55.0.2 "$port" 192.168.0.30 | sort)
[ "$owners" = $'0.12.34.5.0.30\n0.12.34.5.0.31' ] || fail "who-has 192.168.0.30 answered by: $owners"
free=$(inns "$pc" python3 "$here/netns_mac_driver.py" who-has 10.55.0.2 "$port" 10.55.0.30)
[ -z "$free" ] || fail "who-has 10.55.0.30 answered by: $free"
echo "ok: who-has names both cameras on 192.168.0.30 and nobody on 10.55.0.30"

inns "$pc" python3 "$here/netns_mac_driver.py" change 10.55.0.2 "$port" 0.12.34.5.0.31 admin 1234 \
  10.55.0.30 255.255.255.0 10.55.0.1 || fail "change-address by MAC refused"
for _ in $(seq 1 100); do grep -q "0.12.34.5.0.31 state up address=10.55.0.30" "$work/camd.log" && break; sleep 0.1; done
expected=$'00 0C 22 05 00 14 192.168.0.20\n00 0C 22 05 00 1E 192.168.0.30\n00 0C 22 05 00 1F 10.55.0.30'
search_for "$expected" || fail "after the change the search found:
$found"
mac=$(inns "$pc" python3 -c '
import urllib.request, urllib.error
try:
    urllib.request.urlopen("http://10.55.0.30/setup/v1/hello", timeout=3)
except urllib.error.HTTPError as e:
    print(e.headers["X-Sentrova-MAC"])')
[ "$mac" = "0.12.34.5.0.31" ] || fail "HTTP on 10.55.0.30 answered by '$mac'"
echo "ok: change-address and apply by MAC moved the twin to the PC's subnet, reachable over HTTP"

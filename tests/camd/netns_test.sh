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
# answers from 192.168.0.x are not dropped, and a multicast route. The PC's
# side is sentrova-cli for the search and camctl_driver (the camera control
# called as the wizard calls it) for the commands addressed by MAC.
# Usage: netns_test.sh SENTROVA_CAMD SENTROVA_CLI CAMCTL_DRIVER. Exit 77
# (skipped) where namespaces cannot be made. Nothing leaves the namespaces;
# they are removed on exit.
set -euo pipefail
usage="usage: netns_test.sh SENTROVA_CAMD SENTROVA_CLI CAMCTL_DRIVER"
camd=${1:?$usage} cli=${2:?$usage} driver=${3:?$usage}

# A run that must run everything (SENTROVA_NO_SKIPS, set by the test
# command) fails where another would skip.
skip() {
  [ -z "${SENTROVA_NO_SKIPS:-}" ] || { echo "FAIL: this run allows no skipped test: $*"; exit 1; }
  echo "SKIP: $*"; exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null || skip "needs iproute2"
command -v python3 >/dev/null || { echo "FAIL: python3 is missing"; exit 1; }
[ -x "$camd" ] && [ -x "$cli" ] && [ -x "$driver" ] || skip "sentrova-camd, sentrova-cli or camctl_driver not built"

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

# nsenter enters only the network namespace: "ip netns exec" also remounts
# /sys, which a chroot or container may not allow.
inns() { local ns=$1; shift; nsenter --net="/run/netns/$ns" "$@"; }
fail() {
  echo "FAIL: $*"
  echo "--- camera control log"; cat "$work/driver.log" 2>/dev/null
  echo "--- simulator log"; cat "$work/camd.log" 2>/dev/null
  exit 1
}

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
nsenter --net="/run/netns/$cam" "$camd" --fleet "$work/fleet.json" --interface cam0 --discovery-port "$port" --restart-ms 300 \
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

expected=$'00:0C:22:05:00:14 192.168.0.20\n00:0C:22:05:00:1E 192.168.0.30\n00:0C:22:05:00:1F 192.168.0.30'
search_for "$expected" || fail "search found:
$found"
echo "ok: foreign-subnet and duplicate-address cameras found over multicast"

# The camera control in the PC's namespace; its log is kept for a failure.
# Prints what it printed and its exit status last. A password goes on its
# standard input, never on a command line.
camctl() {
  local status=0
  inns "$pc" "$driver" pc0 "$port" "$@" 2>>"$work/driver.log" || status=$?
  echo "exit $status"
}
# Waits (bounded) until the simulator has logged a line matching $1.
await_log() {
  for _ in $(seq 1 100); do grep -Eq "$1" "$work/camd.log" && return 0; sleep 0.1; done
  return 1
}
# The nonces of the who-has requests camera $1 answered for address $2.
who_has_nonces() {
  grep -Eo "camera ${1//./\\.} udp who-has nonce=[0-9a-fA-F]+ address=${2//./\\.}\$" "$work/camd.log" |
    sed 's/.*nonce=\([0-9a-fA-F]*\).*/\1/' | sort -u
}

out=$(camctl address-in-use 192.168.0.30)
[ "$out" = $'address-in-use -1\nexit 0' ] || fail "AddressInUse for 192.168.0.30 gave: $out"
# The control stops at the first answer; both twins answered its request.
await_log "camera 0\.12\.34\.5\.0\.31 udp who-has .*address=192\.168\.0\.30$" &&
  await_log "camera 0\.12\.34\.5\.0\.30 udp who-has .*address=192\.168\.0\.30$" || fail "a twin did not answer who-has"
both=$(comm -12 <(who_has_nonces 0.12.34.5.0.30 192.168.0.30) <(who_has_nonces 0.12.34.5.0.31 192.168.0.30))
[ "$(grep -c . <<<"$both")" -eq 1 ] || fail "the twins did not answer the same who-has request: '$both'"
out=$(camctl address-in-use 10.55.0.30)
[ "$out" = $'address-in-use 0\nexit 0' ] || fail "AddressInUse for 10.55.0.30 gave: $out"
echo "ok: AddressInUse: both cameras on 192.168.0.30 answer, nobody on 10.55.0.30"

# A wrong password stops the wizard's path at the login; nothing is sent.
out=$(camctl change 0.12.34.5.0.30 10.55.0.31 255.255.255.0 10.55.0.1 admin <<<wrong)
[ "$out" = $'login-state 2\nlogin 2\nexit 1' ] || fail "a change with a wrong password gave: $out"
await_log "camera 0\.12\.34\.5\.0\.30 udp login nonce=[0-9a-fA-F]+ id=admin state=2$" ||
  fail "the camera did not refuse the wrong password"
echo "ok: a wrong password is refused"

out=$(camctl change 0.12.34.5.0.31 10.55.0.30 255.255.255.0 10.55.0.1 admin <<<1234)
[ "$out" = $'login-state 2\nlogin 3\naddress-in-use 0\nchange-address 1\napply-settings done\nexit 0' ] ||
  fail "the change of 0.12.34.5.0.31 gave: $out"
await_log "camera 0\.12\.34\.5\.0\.31 state up address=10\.55\.0\.30 " || fail "the twin did not come back on 10.55.0.30"
expected=$'00:0C:22:05:00:14 192.168.0.20\n00:0C:22:05:00:1E 192.168.0.30\n00:0C:22:05:00:1F 10.55.0.30'
search_for "$expected" || fail "after the change the search found:
$found"
out=$(camctl connect 10.55.0.30 0.12.34.5.0.31 admin <<<1234)
[ "$out" = $'connect 1\nexit 0' ] || fail "Connect to the moved camera at 10.55.0.30 gave: $out"
out=$(camctl connect 10.55.0.30 0.12.34.5.0.30 admin <<<1234)
[ "$out" = $'connect 0\nexit 1' ] || fail "Connect at 10.55.0.30 expecting the other twin gave: $out"
out=$(camctl address-in-use 10.55.0.30)
[ "$out" = $'address-in-use -1\nexit 0' ] || fail "AddressInUse for 10.55.0.30 after the change gave: $out"
echo "ok: ChangeAddress and ApplySettings by MAC moved one twin to the PC's subnet, reachable over HTTP"

# The refused camera was never asked to change, never restarted, never moved.
refused=$(grep -E "camera 0\.12\.34\.5\.0\.30 (udp (change-address|apply) |state (silent|up))" "$work/camd.log" |
  grep -v "state up address=192\.168\.0\.30 " || true)
[ -z "$refused" ] || fail "the camera with the refused password was changed: $refused"
echo "ok: the refused password changed nothing"

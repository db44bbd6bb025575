#!/usr/bin/env bash
# Real ONVIF clients we did not write against the simulator's ONVIF cameras:
# Debian's onvif-util and npm's onvif package, each discovering the cameras,
# logging in, reading the network settings, changing the gateway, the
# address and the password, and rebooting. The test then reads the
# simulator's settings files and logs in at the new address with the new
# password. Such clients skip 127.0.0.1, so the cameras sit in a network
# namespace of their own, joined to the clients' namespace by a veth pair:
#
#   [client ns] c0 10.61.0.2/24 ---veth--- s0 [camera ns] 10.61.0.20, .21 (+ .30, .31)
#
# Usage: onvif_clients_test.sh SENTROVA_CAMD NPM_FOLDER. NPM_FOLDER holds
# npm's onvif 0.8.3 under node_modules (tests/support/unpack_onvif_npm.sh);
# its xml2js is Debian's, under /usr/share/nodejs. Exit 77 (skipped) only
# where namespaces cannot be made; a missing client fails the test.
set -euo pipefail
usage="usage: onvif_clients_test.sh SENTROVA_CAMD NPM_FOLDER"
camd=${1:?$usage} npm_folder=${2:?$usage}
here=$(cd "$(dirname "$0")" && pwd)

# A run that must run everything (SENTROVA_NO_SKIPS, set by the test
# command) fails where another would skip.
skip() {
  [ -z "${SENTROVA_NO_SKIPS:-}" ] || { echo "FAIL: this run allows no skipped test: $*"; exit 1; }
  echo "SKIP: $*"; exit 77
}
fail() {
  echo "FAIL: $*"
  echo "--- simulator log"; cat "$work/camd.log" 2>/dev/null
  exit 1
}
[ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null || skip "needs iproute2"
command -v onvif-util >/dev/null || { echo "FAIL: onvif-util is missing (Debian package onvif-tools)"; exit 1; }
command -v node >/dev/null || { echo "FAIL: node is missing (Debian package nodejs)"; exit 1; }
[ -f "$npm_folder/node_modules/onvif/package.json" ] || { echo "FAIL: npm's onvif is not unpacked in $npm_folder"; exit 1; }

id=$$
client=sv-oc-$id cams=sv-os-$id
work=$(mktemp -d)
camd_pid=
cleanup() {
  set +e
  if [ -n "$camd_pid" ]; then kill "$camd_pid" 2>/dev/null; wait "$camd_pid" 2>/dev/null; fi
  ip netns del "$client" 2>/dev/null; ip netns del "$cams" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
ip netns add "$client" 2>/dev/null || skip "cannot create network namespaces here"
ip netns add "$cams"
# nsenter enters only the network namespace: "ip netns exec" also remounts
# /sys, which a chroot or container may not allow.
inns() { local ns=$1; shift; nsenter --net="/run/netns/$ns" "$@"; }
ip link add c0 netns "$client" type veth peer name s0 netns "$cams"
for pair in "$client c0" "$cams s0"; do
  set -- $pair
  inns "$1" ip link set lo up
  inns "$1" ip link set "$2" up
  inns "$1" ip route add 224.0.0.0/4 dev "$2"
done
inns "$client" ip addr add 10.61.0.2/24 dev c0
for host in 20 21 30 31; do inns "$cams" ip addr add "10.61.0.$host/24" dev s0; done

# Porch speaks ONVIF only, its clock an hour behind, and moves at once; Yard
# speaks both protocols, its clock two hours ahead, and moves on its reboot.
# The clients must learn each camera's clock to log in.
cat >"$work/fleet.json" <<'JSON'
{"cameras": [
  {"mac": "0.12.34.61.0.20", "protocols": ["onvif"], "mode": "X-350", "caption": "Porch",
   "settings": {"SysIPAddress": "10.61.0.20", "SysDefaultGateway": "10.61.0.1"},
   "faults": {"clockSkewSeconds": -3600}},
  {"mac": "0.12.34.61.0.21", "protocols": ["sentrova", "onvif"], "family": 2, "caption": "Yard",
   "settings": {"SysIPAddress": "10.61.0.21", "SysDefaultGateway": "10.61.0.1"},
   "faults": {"rebootNeeded": true, "clockSkewSeconds": 7200}}]}
JSON
nsenter --net="/run/netns/$cams" "$camd" --fleet "$work/fleet.json" --interface s0 --state-dir "$work/state" --restart-ms 500 \
  --log "$work/camd.log" </dev/null >/dev/null 2>&1 &
camd_pid=$!
for _ in $(seq 50); do grep -q "sim ready" "$work/camd.log" 2>/dev/null && break; sleep 0.1; done
grep -q "sim ready" "$work/camd.log" || fail "the simulator did not start"

setting() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["settings"][sys.argv[2]])' "$work/state/$1.json" "$2"; }
util() { local address=$1 password=$2; shift 2; printf '%s\n' "$@" quit | timeout 30 nsenter --net="/run/netns/$client" onvif-util -u admin -p "$password" "$address" 2>&1 || true; }

echo "--- onvif-util"
found=$(timeout 30 nsenter --net="/run/netns/$client" onvif-util -a 2>&1) || fail "onvif-util -a: $found"
echo "$found"
grep -q "10.61.0.20 (Porch X-350)" <<<"$found" && grep -q "10.61.0.21 (Yard" <<<"$found" || fail "onvif-util -a did not list both cameras"
out=$(util 10.61.0.20 1234 "get network" "set default_gateway 10.61.0.254" "set ip_address 10.61.0.30")
echo "$out"
grep -q "IP Address: 10.61.0.20" <<<"$out" || fail "onvif-util did not read the address"
grep -q "Gateway:    10.61.0.1" <<<"$out" || fail "onvif-util did not read the gateway"
# The address took effect at once (RebootNeeded false): the session goes on there.
sleep 0.5
out=$(util 10.61.0.30 1234 "set password abcd")
echo "$out"
out=$(util 10.61.0.30 abcd "get network" "reboot" "yes")
echo "$out"
grep -q "IP Address: 10.61.0.30" <<<"$out" || fail "the new password was not accepted at the new address"
grep -q "camera 0.12.34.61.0.20 onvif /onvif/device_service op=SystemReboot user=admin auth=token status=200" \
  "$work/camd.log" || fail "onvif-util's reboot did not reach the camera"
sleep 1
[ "$(setting 0.12.34.61.0.20 SysIPAddress)" = 10.61.0.30 ] || fail "settings file: address"
[ "$(setting 0.12.34.61.0.20 SysSubnetMask)" = 255.255.255.0 ] || fail "settings file: mask"
[ "$(setting 0.12.34.61.0.20 SysDefaultGateway)" = 10.61.0.254 ] || fail "settings file: gateway"
[ "$(setting 0.12.34.61.0.20 SysAdminPassword)" = abcd ] || fail "settings file: password"
out=$(util 10.61.0.30 abcd "get network")
grep -q "Gateway:    10.61.0.254" <<<"$out" || fail "after the reboot the camera does not answer at 10.61.0.30 with the new password: $out"
out=$(util 10.61.0.30 1234 "get network")
grep -q "IP Address" <<<"$out" && fail "the old password is still accepted"

echo "--- npm onvif"
NODE_PATH="$npm_folder/node_modules:/usr/share/nodejs" timeout 60 nsenter --net="/run/netns/$client" node "$here/onvif_npm_client.js" \
  10.61.0.21 10.61.0.31 10.61.0.254 || fail "npm onvif"
[ "$(setting 0.12.34.61.0.21 SysIPAddress)" = 10.61.0.31 ] || fail "settings file: address"
[ "$(setting 0.12.34.61.0.21 SysDefaultGateway)" = 10.61.0.254 ] || fail "settings file: gateway"
[ "$(setting 0.12.34.61.0.21 SysAdminPassword)" = abcd ] || fail "settings file: password"
grep -q "camera 0.12.34.61.0.21 state up address=10.61.0.31" "$work/camd.log" || fail "Yard did not come up at 10.61.0.31"
echo PASS

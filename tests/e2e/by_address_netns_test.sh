#!/usr/bin/env bash
# A simulated camera of each protocol behind a router namespace
# (router_netns.sh): the search of the computer's network does not find it,
# since multicast does not cross the router; `sentrova-cli search --address
# 198.51.100.10` lists it, marked as added by address.
# Usage: by_address_netns_test.sh SENTROVA_CAMD SENTROVA_CLI. Exit 77
# (skipped) where namespaces cannot be made. Nothing leaves the namespaces;
# they are removed on exit.
set -euo pipefail
usage="usage: by_address_netns_test.sh SENTROVA_CAMD SENTROVA_CLI"
camd=${1:?$usage} cli=${2:?$usage}
skip() {
  [ -z "${SENTROVA_NO_SKIPS:-}" ] || { echo "FAIL: this run allows no skipped test: $*"; exit 1; }
  echo "SKIP: $*"; exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root to create network namespaces"
command -v ip >/dev/null || skip "needs iproute2"

. "$(dirname "$0")/router_netns.sh"
work=$(mktemp -d)
camd_pid=
cleanup() {
  set +e
  if [ -n "$camd_pid" ]; then kill "$camd_pid" 2>/dev/null; wait "$camd_pid" 2>/dev/null; fi
  router_down
  rm -rf "$work"
}
trap cleanup EXIT
router_up || skip "cannot create network namespaces here"
fail() { echo "FAIL: $*"; echo "--- simulator log"; cat "$work/camd.log" 2>/dev/null; exit 1; }

for protocols in sentrova onvif; do
  # Not through inns: $! must be the simulator itself.
  nsenter --net="/run/netns/$cam" "$camd" --count 1 --first-address 198.51.100.10 --interface cam0 --protocols "$protocols" \
    --log "$work/camd.log" &
  camd_pid=$!
  for _ in $(seq 50); do grep -q "sim ready" "$work/camd.log" 2>/dev/null && break; sleep 0.1; done
  grep -q "sim ready" "$work/camd.log" || fail "$protocols: the simulator did not start"

  # Assert the premise: the search of the computer's own network misses it.
  inns "$pc" "$cli" search --interface pc0 --json >"$work/search.json" 2>"$work/search.err" ||
    fail "$protocols: search failed: $(cat "$work/search.err")"
  ! grep -q '198.51.100.10' "$work/search.json" || fail "$protocols: multicast crossed the router: $(cat "$work/search.json")"

  inns "$pc" "$cli" search --interface pc0 --address 198.51.100.10 --json >"$work/added.json" 2>"$work/added.err" ||
    fail "$protocols: search --address failed: $(cat "$work/added.err")"
  python3 - "$work/added.json" "$protocols" <<'PY' || fail "$protocols: $(cat "$work/added.json" "$work/added.err")"
import json, sys
rows = json.load(open(sys.argv[1]))
mode = {"sentrova": "X-350", "onvif": "ONVIF"}[sys.argv[2]]
found = [r for r in rows if r["address"] == "198.51.100.10"]
assert len(found) == 1 and found[0]["origin"] == "address" and found[0]["mode"] == mode, rows
PY
  inns "$pc" "$cli" search --interface pc0 --address 198.51.100.10 >"$work/added.txt" 2>&1 || true
  grep '198.51.100.10' "$work/added.txt" | grep -q 'added by address' ||
    fail "$protocols: the table does not say how the row came: $(cat "$work/added.txt")"

  # A router address with no camera behind it: said, and the rest listed.
  inns "$pc" "$cli" search --interface pc0 --address 198.51.100.99 >"$work/none.txt" 2>"$work/none.err" ||
    fail "$protocols: a silent address failed the search"
  grep -q 'No camera answered at 198.51.100.99 within 1 s' "$work/none.err" || fail "$protocols: $(cat "$work/none.err")"

  kill "$camd_pid"; wait "$camd_pid" 2>/dev/null || true; camd_pid=
  rm -f "$work/camd.log"
  echo "ok: $protocols camera behind the router listed by address"
done

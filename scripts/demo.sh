#!/usr/bin/env bash
# The demo: a small fleet of simulated cameras on loopback (demo/fleet.json:
# wired and wireless cameras of both families, two sharing one address, one
# that answers the search but refuses connections, one at a factory-style
# address), and the cameras found, listed from the terminal.
#   bash scripts/demo.sh          list the cameras, then stop them
#   bash scripts/demo.sh --keep   leave the cameras running until Ctrl+C
set -euo pipefail
cd "$(dirname "$0")/.."
keep=0
[ "${1:-}" = "--keep" ] && keep=1

bash scripts/install-deps.sh
cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/demo --target sentrova-camd sentrova-cli -j"${JOBS:-$(nproc)}"

camd=build/demo/src/camd/sentrova-camd
cli=build/demo/src/cli/sentrova-cli
state=build/demo/camera-state
log=build/demo/camd.log
rm -rf "$state"
: >"$log"

"$camd" --fleet demo/fleet.json --interface lo --state-dir "$state" --restart-ms 3000 --log "$log" &
camd_pid=$!
trap 'kill "$camd_pid" 2>/dev/null; wait "$camd_pid" 2>/dev/null || true' EXIT

for _ in $(seq 1 200); do
  grep -q "sim ready" "$log" && break
  kill -0 "$camd_pid" 2>/dev/null || { echo "demo: the simulator did not start:" >&2; cat "$log" >&2; exit 1; }
  sleep 0.1
done
grep -q "sim ready" "$log" || { echo "demo: the simulator did not get ready" >&2; exit 1; }

echo
echo "Simulated cameras are running on loopback (log: $log)."
echo "Cameras found by: $cli search --interface lo"
echo
"$cli" search --interface lo
echo
echo "The desktop wizard arrives with the desktop front end; until then the"
echo "search above is what the wizard's main window will list."
if [ "$keep" = 1 ]; then
  echo "The cameras keep running; try '$cli search --interface lo --json'. Ctrl+C stops them."
  wait "$camd_pid"
fi

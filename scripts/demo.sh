#!/usr/bin/env bash
# The demo: a small fleet of simulated cameras on loopback (demo/fleet.json:
# wired and wireless cameras of both families, two sharing one address, one
# that answers the search but refuses connections, one at a factory-style
# address), and the setup wizard confined to loopback against them. Without
# a display the cameras are listed from the terminal instead.
#   bash scripts/demo.sh          open the wizard; the cameras stop when it exits
#   bash scripts/demo.sh --keep   (no display) leave the cameras running until Ctrl+C
set -euo pipefail
cd "$(dirname "$0")/.."
keep=0
[ "${1:-}" = "--keep" ] && keep=1

bash scripts/install-deps.sh
# A failing configure or build shows its own output; only a passing
# configure is kept quiet.
if [ ! -f build/demo/CMakeCache.txt ]; then
  echo "demo: building the simulator, the terminal search and the wizard (the first build takes a few minutes)"
fi
if ! configure_log=$(cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=RelWithDebInfo 2>&1); then
  echo "$configure_log" >&2
  echo "demo: the configure failed (above)" >&2
  exit 1
fi
started=$(date +%s)
cmake --build build/demo --target sentrova-camd sentrova-cli sentrova -j"${JOBS:-$(nproc)}"
echo "demo: built in $(( $(date +%s) - started )) s"

camd=build/demo/src/camd/sentrova-camd
cli=build/demo/src/cli/sentrova-cli
wizard=build/demo/src/desktop/sentrova
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
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening the setup wizard on loopback; closing it stops the cameras."
  echo "Administrator ID and password of the demo cameras: admin / 1234 (Garage: root / pass)."
  "$wizard" --interface lo
  exit 0
fi
echo "No DISPLAY is set, so the setup wizard cannot open here. These are the"
echo "cameras its main window would list ($cli search --interface lo):"
echo
"$cli" search --interface lo
echo
echo "On a desktop session, run this script again to open the wizard."
if [ "$keep" = 1 ]; then
  echo "The cameras keep running; try '$cli search --interface lo --json'. Ctrl+C stops them."
  wait "$camd_pid"
fi

#!/usr/bin/env bash
# The change-address conflict under a real X server and window manager: the
# user presses OK on an address another camera has, then OK in the
# "IP conflict !!" box; the change-address dialog must then be the window in
# front, not the main window behind it.
#
#   wm_smoke.sh PATH/TO/desktop_tour
#
# Exits 77 (skipped) only when no X server can be started here.
set -euo pipefail
tour=$1
command -v Xvfb >/dev/null && command -v openbox >/dev/null && command -v xdotool >/dev/null || {
  echo "Xvfb, openbox or xdotool missing (scripts/install-deps.sh installs them)" >&2
  exit 1
}

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$(dirname "$0")/../../scripts/lib/xvfb.sh"
if ! start_x_session "$work" 1280x900x24; then
  [ -z "${SENTROVA_NO_SKIPS:-}" ] || { echo "FAIL: this run allows no skipped test: no X session"; exit 1; }
  exit 77
fi

QT_QPA_PLATFORM=xcb "$tour" change-address-conflict >"$work/tour.out" 2>"$work/tour.err" &
pids+=($!)
for _ in $(seq 100); do grep -q '^ready' "$work/tour.out" && break; sleep 0.1; done
read -r _ _ _ _ _ dialog okx oky < <(grep '^ready' "$work/tour.out") || {
  echo "the tour did not reach the change-address dialog" >&2; cat "$work/tour.err" >&2; exit 1
}
[[ $dialog != 0 && $okx != 0 ]] || { echo "no change-address dialog in front" >&2; exit 1; }

xdotool mousemove "$okx" "$oky" click 1
# The conflict box opens over the dialog and takes the focus. The window
# manager may report a passing window for a moment, so the box is the
# active window that is still there and still active a little later.
box=
for _ in $(seq 50); do
  active=$(xdotool getactivewindow 2>/dev/null || echo 0)
  if [[ $active != 0 && $active != "$dialog" ]] && xdotool getwindowname "$active" >/dev/null 2>&1; then
    sleep 0.2
    [[ $(xdotool getactivewindow 2>/dev/null || echo 0) == "$active" ]] && { box=$active; break; }
  fi
  sleep 0.1
done
[[ -n $box ]] || { echo "no message box appeared" >&2; exit 1; }
# Return as a key press of the keyboard (XTEST), which reaches the window
# that has the focus, as a person's key press would.
xdotool key Return
for _ in $(seq 50); do
  active=$(xdotool getactivewindow 2>/dev/null || echo 0)
  [[ $active == "$dialog" ]] && break
  sleep 0.1
done
if [[ $active != "$dialog" ]]; then
  echo "after the box the window in front is $active ($(xdotool getwindowname "$active" 2>/dev/null)), not the dialog $dialog" >&2
  exit 1
fi
# The dialog is still shown and still takes the keyboard.
xdotool search --onlyvisible --name 'Setup Wizard' | grep -qx "$dialog" || { echo "the dialog is gone" >&2; exit 1; }
echo "the change-address dialog is in front after the conflict box"

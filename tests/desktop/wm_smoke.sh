#!/usr/bin/env bash
# The change-address conflict under a real X server and window manager: the
# user presses OK on an address another camera has, then Return in the
# "IP conflict !!" box; the change-address dialog must then stand above the
# main window and be the active window, not the main window behind it.
#
#   wm_smoke.sh PATH/TO/desktop_tour
#
# Every wait is bounded (5 s). Keys and clicks go through XTEST, as a
# person's would, never as events sent to a window. Exits 77 (skipped) only
# when no X server can be started here.
set -euo pipefail
tour=$1
for tool in Xvfb openbox xdotool xprop; do
  command -v "$tool" >/dev/null || { echo "$tool missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "$*" >&2; exit 1; }
# Polls a command every 0.1 s until it succeeds; fails after 5 s.
wait_for() {
  local _
  for _ in $(seq 50); do "$@" && return 0; sleep 0.1; done
  return 1
}
active_window() { xdotool getactivewindow 2>/dev/null || echo 0; }
is_active() { [[ $(active_window) == "$1" ]]; }
# The conflict box by its title: the message box is titled "Sentrova", the
# main window and the change-address dialog "Setup Wizard".
box_window() { xdotool search --onlyvisible --name '^Sentrova$' 2>/dev/null | head -n 1; }
box_shown() { [[ -n $(box_window) ]]; }
box_gone() { ! box_shown; }
# Where a window stands in the window manager's stacking order, bottom
# first (_NET_CLIENT_LIST_STACKING holds hexadecimal ids); -1 when absent.
stacking_place() {
  local place=0 id
  for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/^[^#]*#//; s/,/ /g'); do
    [[ $id == 0x* ]] || continue
    (( id == $1 )) && { echo "$place"; return; }
    place=$((place + 1))
  done
  echo -1
}

source "$(dirname "$0")/../../scripts/lib/xvfb.sh"
if ! start_x_session "$work" 1280x900x24; then
  [ -z "${SENTROVA_NO_SKIPS:-}" ] || { echo "FAIL: this run allows no skipped test: no X session"; exit 1; }
  exit 77
fi

QT_QPA_PLATFORM=xcb "$tour" change-address-conflict >"$work/tour.out" 2>"$work/tour.err" &
pids+=($!)
wait_for grep -q '^ready' "$work/tour.out" || { cat "$work/tour.err" >&2; fail "the tour did not reach the change-address dialog"; }
read -r _ _ _ _ _ dialog okx oky main < <(grep '^ready' "$work/tour.out")
[[ $dialog != 0 && $okx != 0 && $main != 0 && $dialog != "$main" ]] || fail "no change-address dialog in front of the main window"

xdotool mousemove "$okx" "$oky" click 1
wait_for box_shown || fail "no \"IP conflict !!\" box appeared"
box=$(box_window)
wait_for is_active "$box" || fail "the box $box never became the active window (active: $(active_window))"
xdotool key Return
wait_for box_gone || fail "Return did not close the box"
wait_for is_active "$dialog" ||
  fail "after the box the active window is $(active_window) ($(xdotool getwindowname "$(active_window)" 2>/dev/null)), not the dialog $dialog"

dialog_place=$(stacking_place "$dialog")
main_place=$(stacking_place "$main")
(( main_place >= 0 && dialog_place > main_place )) ||
  fail "the dialog ($dialog_place) is not above the main window ($main_place) in the stacking order"
sleep 0.5
is_active "$dialog" || fail "the dialog lost the focus to $(active_window) a moment later"
echo "the change-address dialog is above the main window and active after the conflict box"

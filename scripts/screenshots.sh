#!/usr/bin/env bash
# Regenerates docs/screenshots: every window of the wizard, drawn by the real
# front end with simulated cameras, under Xvfb with the openbox window
# manager (so the title bars are real), at 100 %; the main window and the IP
# address page also at 200 % and in a dark palette, and with a 13 pt font;
# the Restart wait mid-way, and a search with the first cameras answered;
# a list of 1000 cameras and the wireless page at 200 %, 13 pt, dark; the
# Network column's notes with an outside row's tooltip, the Interfaces and
# Cameras menus, the add-by-address dialog (also at 200 %, 13 pt, dark) and
# the offer of a temporary address for a camera outside the networks.
#
#   bash scripts/screenshots.sh [BUILD_DIR]     (default: build/dev)
set -euo pipefail
for tool in Xvfb openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/dev}
out=$root/docs/screenshots
cmake --build "$build" -j2 --target desktop_tour
tour=$build/tests/desktop/desktop_tour

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$root/scripts/lib/xvfb.sh"
start_x_session "$work" 1600x1200x24 || exit 1

# shot NAME STATE [tour options] — environment QT_SCALE_FACTOR may be set.
# The tour saves the picture itself once the state is on screen.
shot() {
  local name=$1 state=$2
  shift 2
  rm -f "$work/tour.out"  # the last shot's ready line must not be read for this one
  QT_QPA_PLATFORM=xcb "$tour" "$state" "$@" --shot "$out/$name.png" >"$work/tour.out" 2>"$work/tour.err" &
  local pid=$!
  for _ in $(seq 300); do grep -q '^ready' "$work/tour.out" && break; sleep 0.1; done
  local w h
  read -r _ _ _ w h _ < <(grep '^ready' "$work/tour.out") || { cat "$work/tour.err" >&2; exit 1; }
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$name.png ${w}x${h}"
}

rm -f "$out"/*.png
shot 01-main-window main
shot 02-about-box about
shot 03-administrator-page admin
shot 04-administrator-page-filled admin-filled
shot 05-ip-address-page ip
shot 06-message-box-ip-conflict ip-conflict
shot 07-wireless-page wireless
shot 08-wireless-page-new-key wireless-new-key
shot 09-wireless-summary wireless-summary
shot 10-wired-summary wired-summary
shot 11-restart-wait restart-wait
shot 12-login-dialog login
shot 13-message-box-password-error password-error
shot 14-invalid-address-warning warning
shot 15-change-address-dialog change-address
shot 16-main-window-empty-search main-empty
QT_SCALE_FACTOR=2 shot 17-main-window-200 main
QT_SCALE_FACTOR=2 shot 18-ip-address-page-200 ip
shot 19-main-window-dark main --dark
shot 20-ip-address-page-dark ip --dark
shot 21-main-window-13pt main --large-font
shot 22-administrator-page-13pt admin-filled --large-font
shot 23-change-address-conflict change-address-conflict-box
shot 24-main-window-searching main-searching
QT_SCALE_FACTOR=2 shot 25-main-window-1000-cameras-200-13pt-dark main --cameras 1000 --large-font --dark
QT_SCALE_FACTOR=2 shot 26-wireless-page-200-13pt-dark wireless --large-font --dark
shot 27-main-window-network-notes main-network
shot 28-interfaces-menu interfaces-menu
shot 29-cameras-menu cameras-menu
shot 30-add-by-address-dialog add-by-address
shot 31-add-by-address-invalid add-by-address-invalid
shot 32-outside-camera-offer outside-camera
QT_SCALE_FACTOR=2 shot 33-add-by-address-200-13pt-dark add-by-address --large-font --dark

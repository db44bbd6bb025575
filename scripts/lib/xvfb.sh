# An X server of our own with a window manager, for the desktop's screenshots
# and its window-manager smoke test. Source it, then:
#
#   start_x_session WORK_DIR SCREEN        (SCREEN as Xvfb takes it: 1280x900x24)
#
# starts Xvfb on a display number nobody uses and openbox on it, exports
# DISPLAY, adds both processes to the caller's pids array (the caller stops
# them) and leaves their logs in WORK_DIR. Returns 1, having said why on
# stderr, when no display number is free or Xvfb does not start.
start_x_session() {
  local work=$1 screen=$2 display= n
  for n in $(seq 90 140); do
    if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=:$n; break; fi
  done
  [[ -n $display ]] || { echo "no free display" >&2; return 1; }
  Xvfb "$display" -screen 0 "$screen" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=$display
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
  xdotool getmouselocation >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; return 1; }
  openbox >"$work/openbox.log" 2>&1 &
  pids+=($!)
  sleep 1
}

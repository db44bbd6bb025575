#!/bin/bash
# Figures of the camera control against onvif_simple_server (an ONVIF device
# we did not write) in network namespaces: the login's request count and
# time on a slow device, full wizard runs (password, address and gateway
# together, changes landing 1 s late) under WS-UsernameToken and HTTP
# Digest, and runs on a device that answers every change with success and
# changes nothing. Root only; every packet stays in the namespaces it makes.
#
#   bench/onvif_device_figures.sh BUILD_DIR DEVICE_DIR [RUNS]
# DEVICE_DIR: a built copy of the ONVIF test device (its start-device.sh).
set -u
build=$(realpath "$1"); device=$(realpath "$2"); runs=${3:-10}
run="$build/bench/sentrova_onvif_wizard_run"
name_base=obf$$
names=()
stop_all() { for n in "${names[@]}"; do "$device/stop-device.sh" --name "$n" >/dev/null 2>&1; done; }
trap stop_all EXIT

start() {  # NAME OPTIONS...
  local n=$1; shift
  names+=("$n")
  "$device/start-device.sh" --name "$n" --reboot-seconds 2 "$@" >/dev/null 2>&1 || { echo "cannot start $n"; exit 1; }
}
requests() { wc -l < "$device/run/$1/requests.log"; }
in_pc() { local n=$1; shift; ip netns exec "$n-pc" "$@" 2>/dev/null; }

# Waits (at most 20 s) until the camera logs in at ADDRESS with PASSWORD.
reachable() {  # NAME ADDRESS PASSWORD
  for _ in $(seq 40); do
    in_pc "$1" "$run" "$2" 80 admin "$3" | grep -q '^connect: 1' && return 0
    sleep 0.5
  done
  return 1
}

login_figures() {
  local n=${name_base}l
  start "$n" --apply
  echo 0.1 > "$device/run/$n/delay"
  local before; before=$(requests "$n")
  in_pc "$n" "$run" 192.0.2.10 80 admin 1234 >/dev/null
  echo "login at 0.1 s per answer: $(( $(requests "$n") - before )) requests (LoginState, Login, Connect)"
  echo 2 > "$device/run/$n/delay"
  local start_ms; start_ms=$(date +%s%3N)
  local outcome; outcome=$(in_pc "$n" "$run" 192.0.2.10 80 admin 1234 | head -1)
  echo "login at 2 s per answer: $outcome; whole run $(( $(date +%s%3N) - start_ms )) ms"
  echo 9 > "$device/run/$n/delay"
  outcome=$(in_pc "$n" "$run" 192.0.2.10 80 admin 1234 | head -1)
  echo "login at 9 s per answer: $outcome"
}

wizard_figures() {  # AUTH
  local n=${name_base}${1:0:1}
  start "$n" --apply --auth "$1"
  local ok=0 from=192.0.2.10 to=192.0.2.40 pw=1234 next=n3w
  for i in $(seq "$runs"); do
    local out; out=$(in_pc "$n" "$run" "$from" 80 admin "$pw" "$next" "$to" 255.255.255.0 192.0.2.1 restart)
    # As the wizard does, wait out the reboot before looking for the camera.
    sleep 4
    if ! grep -q '^error' <<<"$out" && reachable "$n" "$to" "$next"; then
      ok=$((ok + 1))
      local t=$from; from=$to; to=$t; t=$pw; pw=$next; next=$t
    else
      echo "  run $i ($1): $(grep -E '^(error|apply)' <<<"$out")"
      reachable "$n" "$to" "$next" && { local t=$from; from=$to; to=$t; t=$pw; pw=$next; next=$t; }
    fi
  done
  echo "full wizard, $1, changes 1 s late: $ok of $runs at the new address with the new password, no error"
}

nothing_figures() {
  local n=${name_base}n
  start "$n"
  local named=0
  for i in $(seq "$runs"); do
    local out; out=$(in_pc "$n" "$run" 192.0.2.10 80 admin 1234 n3w 192.0.2.40 255.255.255.0 192.0.2.1 restart)
    if grep -q 'password did not take' <<<"$out" && grep -q 'address did not take' <<<"$out"; then
      named=$((named + 1))
    else
      echo "  run $i: $(grep -E '^(error|apply)' <<<"$out")"
    fi
  done
  echo "device that changes nothing: $named of $runs name the password and the address as not taken"
}

login_figures
wizard_figures wsse
wizard_figures digest
nothing_figures

#!/bin/bash
# start-device.sh - run the onvif_simple_server test camera in network namespaces.
#
# Run as root, from the folder build.sh laid out. Creates two namespaces joined
# by a veth pair:
#   <name>-cam : eth0 192.0.2.10/24, default via 192.0.2.1, 224.0.0.0/4 via eth0;
#                runs wsd_simple_server (WS-Discovery, UDP 3702) and lighttpd
#                (HTTP) whose /onvif/*_service CGIs are onvif_simple_server
#                behind www/onvif/cgi-wrapper.sh.
#   <name>-pc  : eth0 192.0.2.1/24, 224.0.0.0/4 via eth0 - run clients here:
#                nsenter --net=/run/netns/<name>-pc <client> ...
# Nothing is put in the root namespace; IPv6 is off in both namespaces.
# State goes to run/<name>/ beside this script.
#
# Options (defaults in brackets):
#   --name N            instance name, prefix of the namespaces [onvif]
#   --cam-ip A/P        camera address [192.0.2.10/24]
#   --pc-ip A/P         client address [192.0.2.1/24]
#   --gw IP             camera default gateway [address of --pc-ip]
#   --mac MAC           camera MAC [02:00:5e:00:02:0a]
#   --port N            HTTP port [80]
#   --user U            the device's single user [admin]
#   --password P        its password [1234]
#   --auth MODE         wsse   : WS-UsernameToken PasswordDigest, checked by onvif_simple_server [default]
#                       digest : HTTP Digest (MD5, realm ONVIF) by lighttpd mod_auth on /onvif/,
#                                onvif_simple_server security off
#                       none   : no authentication
#   --apply             apply accepted SetNetworkInterfaces / SetNetworkDefaultGateway /
#                       SetUser / SystemReboot to the namespace 1 s after the answer
#                       (default: record only, which is what onvif_simple_server does)
#   --reboot-seconds S  how long a simulated reboot keeps the link down [5]
#   --delay S           every answer S seconds late (run/<name>/delay; change it any time) [0]
#   --firmware V        firmware version the device reports [from etc/onvif_simple_server.conf]
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

NAME=onvif
CAM_IP=192.0.2.10/24
PC_IP=192.0.2.1/24
GW=
MAC=02:00:5e:00:02:0a
PORT=80
DEV_USER=admin
DEV_PASS=1234
AUTH=wsse
APPLY=0
REBOOT_SECONDS=5
DELAY=0
FIRMWARE=
IFACE=eth0
REALM=ONVIF

die() { echo "start-device: $*" >&2; exit 1; }
need_arg() { [ $# -ge 2 ] || die "$1 needs a value"; }

while [ $# -gt 0 ]; do
    case "$1" in
        --name) need_arg "$@"; NAME=$2; shift 2 ;;
        --cam-ip) need_arg "$@"; CAM_IP=$2; shift 2 ;;
        --pc-ip) need_arg "$@"; PC_IP=$2; shift 2 ;;
        --gw) need_arg "$@"; GW=$2; shift 2 ;;
        --mac) need_arg "$@"; MAC=$2; shift 2 ;;
        --port) need_arg "$@"; PORT=$2; shift 2 ;;
        --user) need_arg "$@"; DEV_USER=$2; shift 2 ;;
        --password) need_arg "$@"; DEV_PASS=$2; shift 2 ;;
        --auth) need_arg "$@"; AUTH=$2; shift 2 ;;
        --apply) APPLY=1; shift ;;
        --reboot-seconds) need_arg "$@"; REBOOT_SECONDS=$2; shift 2 ;;
        --delay) need_arg "$@"; DELAY=$2; shift 2 ;;
        --firmware) need_arg "$@"; FIRMWARE=$2; shift 2 ;;
        -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) die "unknown option $1 (see --help)" ;;
    esac
done

[ "$(id -u)" = 0 ] || die "must run as root"
[[ $NAME =~ ^[A-Za-z0-9][A-Za-z0-9_.-]{0,30}$ ]] || die "bad --name"
[[ $CAM_IP =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+/[0-9]+$ ]] || die "--cam-ip must be A.B.C.D/P"
[[ $PC_IP =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+/[0-9]+$ ]] || die "--pc-ip must be A.B.C.D/P"
[[ $PORT =~ ^[0-9]+$ ]] || die "bad --port"
[[ $DELAY =~ ^[0-9]+(\.[0-9]+)?$ ]] || die "bad --delay"
[[ $REBOOT_SECONDS =~ ^[0-9]+(\.[0-9]+)?$ ]] || die "bad --reboot-seconds"
[[ -z $FIRMWARE || $FIRMWARE =~ ^[A-Za-z0-9._-]+$ ]] || die "bad --firmware"
case "$AUTH" in wsse|digest|none) ;; *) die "--auth must be wsse, digest or none" ;; esac
for v in "$DEV_USER" "$DEV_PASS"; do
    [[ $v =~ ^[A-Za-z0-9._@+-]+$ ]] || die "user and password: letters, digits and ._@+- only"
done
for t in ip nsenter lighttpd python3 setpriv setsid curl; do
    command -v "$t" >/dev/null || die "$t not found (scripts/install-deps.sh installs it)"
done
for f in bin/wsd_simple_server www/onvif/onvif_simple_server www/onvif/cgi-wrapper.sh hooks/onvif-hook.py \
         etc/onvif_simple_server.conf; do
    [ -e "$HERE/$f" ] || die "missing $HERE/$f (build the onvif_test_device target)"
done
[ -f /usr/lib/lighttpd/mod_cgi.so ] || die "lighttpd mod_cgi missing"

RUN=$HERE/run/$NAME
if [ -f "$RUN/pids/lighttpd.pid" ] && kill -0 "$(cat "$RUN/pids/lighttpd.pid")" 2>/dev/null; then
    die "instance '$NAME' is already running (stop-device.sh --name $NAME)"
fi

CAM_NS=$NAME-cam
PC_NS=$NAME-pc
[ -z "$GW" ] && GW=${PC_IP%/*}
for ns in $CAM_NS $PC_NS; do
    [ -e "/run/netns/$ns" ] && die "namespace $ns already exists (stale? stop-device.sh --name $NAME)"
done

rm -rf "$RUN"
mkdir -p "$RUN/requests" "$RUN/pids" "$RUN/jobs" "$RUN/tmp"
[ "$DELAY" != 0 ] && echo "$DELAY" > "$RUN/delay"

cleanup_on_error() {
    echo "start-device: failed, undoing" >&2
    "$HERE/stop-device.sh" --name "$NAME" >&2 || true
}

# device.env: read by the hook and by stop-device.sh; the hook updates it as
# changes take effect
write_env() {
    {
        for k in NAME ROOT RUN CAM_NS PC_NS CREATED_NS IFACE CAM_IP PC_IP GW MAC PORT \
                 USER PASSWORD AUTH REALM APPLY REBOOT_SECONDS MODEL MANUFACTURER; do
            printf "%s='%s'\n" "$k" "${!k-}"
        done
    } > "$RUN/device.env"
}
ROOT=$HERE
USER=$DEV_USER
PASSWORD=$DEV_PASS
MODEL=$(sed -n 's/^model=//p' "$HERE/etc/onvif_simple_server.conf" | head -1)
MANUFACTURER=$(sed -n 's/^manufacturer=//p' "$HERE/etc/onvif_simple_server.conf" | head -1)
CREATED_NS=
write_env
trap cleanup_on_error ERR

# nsenter enters only the network namespace ("ip netns exec" also remounts
# /sys, which a container may not allow)
inns() { local ns=$1; shift; nsenter --net="/run/netns/$ns" "$@"; }

# ------------------------------------------------------------------ network
ip netns add "$CAM_NS"; CREATED_NS=$CAM_NS; write_env
ip netns add "$PC_NS"; CREATED_NS="$CAM_NS $PC_NS"; write_env
for ns in $CAM_NS $PC_NS; do
    inns "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
    inns "$ns" ip link set lo up
done
ip link add "$IFACE" netns "$CAM_NS" address "$MAC" type veth peer name eth0 netns "$PC_NS"
inns "$PC_NS" ip addr add "$PC_IP" dev eth0
inns "$PC_NS" ip link set eth0 multicast on up
inns "$PC_NS" ip route add 224.0.0.0/4 dev eth0
inns "$CAM_NS" ip addr add "$CAM_IP" dev "$IFACE"
inns "$CAM_NS" ip link set "$IFACE" multicast on up
inns "$CAM_NS" ip route add 224.0.0.0/4 dev "$IFACE"
[ -n "$GW" ] && inns "$CAM_NS" ip route add default via "$GW" dev "$IFACE"
IP=${CAM_IP%/*}

# ------------------------------------------------------------------ config
{
    while IFS= read -r line; do
        case "$line" in
            user=*) [ "$AUTH" = wsse ] && echo "user=$DEV_USER" ;;
            password=*) [ "$AUTH" = wsse ] && echo "password=$DEV_PASS" ;;
            firmware_ver=*) echo "firmware_ver=${FIRMWARE:-${line#firmware_ver=}}" ;;
            ifs=*) echo "ifs=$IFACE" ;;
            port=*) echo "port=$PORT" ;;
            *) printf '%s\n' "$line" ;;
        esac
    done < "$HERE/etc/onvif_simple_server.conf"
} > "$RUN/onvif_simple_server.conf"

if [ "$AUTH" = digest ]; then
    printf '%s:%s:%s\n' "$DEV_USER" "$REALM" \
        "$(printf '%s:%s:%s' "$DEV_USER" "$REALM" "$DEV_PASS" | md5sum | cut -d' ' -f1)" > "$RUN/htdigest"
fi

{
    echo "server.document-root = \"$HERE/www\""
    echo "server.port = $PORT"
    echo "server.pid-file = \"$RUN/pids/lighttpd.pid\""
    echo "server.errorlog = \"$RUN/lighttpd-error.log\""
    echo "server.upload-dirs = ( \"$RUN/tmp\" )"
    echo "server.modules = ( \"mod_setenv\", \"mod_accesslog\", \"mod_auth\", \"mod_authn_file\", \"mod_cgi\" )"
    echo "accesslog.filename = \"$RUN/access.log\""
    echo "cgi.assign = ( \"_service\" => \"\" )"
    echo "setenv.add-environment = ( \"OSS_RUN_DIR\" => \"$RUN\" )"
    if [ "$AUTH" = digest ]; then
        echo "auth.backend = \"htdigest\""
        echo "auth.backend.htdigest.userfile = \"$RUN/htdigest\""
        echo "auth.require = ( \"/onvif/\" => ( \"method\" => \"digest\", \"realm\" => \"$REALM\", \"algorithm\" => \"MD5\", \"require\" => \"valid-user\" ) )"
    fi
} > "$RUN/lighttpd.conf"

XADDR="http://%s/onvif/device_service"
[ "$PORT" != 80 ] && XADDR="http://%s:$PORT/onvif/device_service"
cat > "$RUN/start-wsd.sh" <<EOS
#!/bin/sh
# (re)starts the discovery daemon; run inside the camera namespace
WSD_LOG_FILE='$RUN/wsd_simple_server.log'
export WSD_LOG_FILE
exec setpriv --inh-caps=-sys_boot --bounding-set=-sys_boot -- \\
    '$HERE/bin/wsd_simple_server' -f -d 5 -i '$IFACE' -x '$XADDR' \\
    -m '$MODEL' -n '$MANUFACTURER' -p '$RUN/pids/wsd.pid' -t '$HERE/etc/wsd_simple_server'
EOS

# ------------------------------------------------------------------ processes
# lighttpd daemonizes and writes its pid file; CAP_SYS_BOOT is dropped for it and
# everything it runs, so no request can ever reboot this machine.
inns "$CAM_NS" setpriv --inh-caps=-sys_boot --bounding-set=-sys_boot -- \
    lighttpd -f "$RUN/lighttpd.conf" </dev/null >>"$RUN/lighttpd.out" 2>&1
inns "$CAM_NS" setsid -f sh "$RUN/start-wsd.sh" </dev/null >>"$RUN/wsd.out" 2>&1

ok=0
for _ in $(seq 50); do
    # wsd_simple_server sleeps 1 s after its Hello before it reads probes
    if [ -s "$RUN/pids/lighttpd.pid" ] && [ -s "$RUN/pids/wsd.pid" ] &&
       grep -q "Starting main loop" "$RUN/wsd_simple_server.log" 2>/dev/null; then ok=1; break; fi
    sleep 0.1
done
[ "$ok" = 1 ] || { echo "lighttpd/wsd did not start; see $RUN/*.log $RUN/*.out" >&2; false; }

# readiness: an unauthenticated GetSystemDateAndTime must answer (no delay for it)
mv -f "$RUN/delay" "$RUN/delay.start" 2>/dev/null || true
URL="http://$IP:$PORT/onvif/device_service"
BODY='<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope"><s:Body><GetSystemDateAndTime xmlns="http://www.onvif.org/ver10/device/wsdl"/></s:Body></s:Envelope>'
ready=0
# a camera outside the client's subnet cannot be asked from there: it is
# asked from its own namespace
READY_NS=$(python3 -c 'import ipaddress, sys
print(sys.argv[3] if ipaddress.ip_address(sys.argv[1]) in ipaddress.ip_interface(sys.argv[2]).network else sys.argv[4])' \
    "$IP" "$PC_IP" "$PC_NS" "$CAM_NS")
for _ in $(seq 30); do
    if [ "$AUTH" = digest ]; then
        out=$(inns "$READY_NS" curl -s -m 3 --digest -u "$DEV_USER:$DEV_PASS" \
              -H 'Content-Type: application/soap+xml' --data-binary "$BODY" "$URL" 2>/dev/null || true)
    else
        out=$(inns "$READY_NS" curl -s -m 3 -H 'Content-Type: application/soap+xml' \
              --data-binary "$BODY" "$URL" 2>/dev/null || true)
    fi
    case "$out" in *GetSystemDateAndTimeResponse*) ready=1; break ;; esac
    sleep 0.2
done
[ "$ready" = 1 ] || { echo "device does not answer on $URL" >&2; false; }
mv -f "$RUN/delay.start" "$RUN/delay" 2>/dev/null || true
# the readiness probe is not part of what a client under test did
: > "$RUN/requests.log"; rm -f "$RUN"/requests/*
trap - ERR

cat <<EOS
ONVIF test camera '$NAME' is up: $URL in $CAM_NS (mac $MAC, gw $GW), clients in $PC_NS ($PC_IP)
  user / password $DEV_USER / $DEV_PASS, auth $AUTH, changes $([ "$APPLY" = 1 ] && echo applied || echo "recorded only")
  records in $RUN (requests.log, changes.log, requests/)
DEVICE_IP=$IP
DEVICE_PORT=$PORT
DEVICE_USER=$DEV_USER
DEVICE_PASSWORD=$DEV_PASS
DEVICE_NETNS=$CAM_NS
CLIENT_NETNS=$PC_NS
RUN_DIR=$RUN
EOS

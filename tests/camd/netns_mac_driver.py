#!/usr/bin/env python3
"""The PC's side of the MAC-addressed commands, for the network-namespace
test: who-has, then challenge + change-address + apply with the HMAC proof.

    netns_mac_driver.py who-has   IFADDR PORT ADDRESS            -> MACs, one a line
    netns_mac_driver.py change    IFADDR PORT MAC ID PASSWORD ADDRESS MASK GATEWAY
"""
import hashlib
import hmac
import json
import secrets
import socket
import struct
import sys
import time

GROUP = "239.255.42.61"


def open_group(ifaddr, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((GROUP, port))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 struct.pack("4s4s", socket.inet_aton(GROUP), socket.inet_aton(ifaddr)))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(ifaddr))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
    return s


def ask(s, port, request, reply_field, wait=1.0, first_only=True):
    """Sends `request` (three copies) and gathers the replies carrying its nonce."""
    data = json.dumps(request).encode()
    replies, deadline, copies = [], time.monotonic() + wait, 0
    while time.monotonic() < deadline:
        if copies < 3:
            s.sendto(data, (GROUP, port))
            copies += 1
        s.settimeout(0.1)
        try:
            payload, _ = s.recvfrom(2048)
        except socket.timeout:
            continue
        message = json.loads(payload)
        if message.get("nonce") == request["nonce"] and reply_field in message and message not in replies:
            replies.append(message)
            if first_only:
                return replies
    return replies


def proof(password, *parts):
    return hmac.new(password.encode(), ":".join(parts).encode(), hashlib.sha256).hexdigest()


def command(s, port, mac, user, password, op, fields, extra_parts):
    challenge = ask(s, port, {"v": 1, "op": "challenge", "nonce": secrets.token_hex(8), "mac": mac}, "state")
    if not challenge:
        sys.exit("no challenge from " + mac)
    nonce = secrets.token_hex(8)
    request = {"v": 1, "op": op, "nonce": nonce, "mac": mac, "id": user, "challenge": challenge[0]["challenge"]}
    request.update(fields)
    request["proof"] = proof(password, challenge[0]["challenge"], nonce, mac, user, *extra_parts)
    reply = ask(s, port, request, "result")
    if not reply:
        sys.exit("no %s reply from %s" % (op, mac))
    return reply[0]


def main():
    what, ifaddr, port = sys.argv[1], sys.argv[2], int(sys.argv[3])
    s = open_group(ifaddr, port)
    if what == "who-has":
        for reply in ask(s, port, {"v": 1, "op": "who-has", "nonce": secrets.token_hex(8), "address": sys.argv[4]},
                         "mac", wait=1.0, first_only=False):
            print(reply["mac"])
        return 0
    mac, user, password, address, mask, gateway = sys.argv[4:10]
    changed = command(s, port, mac, user, password, "change-address",
                      {"address": address, "mask": mask, "gateway": gateway}, [address, mask, gateway])
    print("change-address result=%s" % changed["result"])
    applied = command(s, port, mac, user, password, "apply", {}, ["apply"])
    print("apply result=%s" % applied["result"])
    return 0 if changed["result"] == 1 and applied["result"] == 1 else 1


if __name__ == "__main__":
    sys.exit(main())

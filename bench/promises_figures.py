#!/usr/bin/env python3
"""What the simulated cameras promise under attack, measured on loopback.

Builds nothing: give it a build folder with sentrova-camd. Prints one line
per figure:

    python3 bench/promises_figures.py BUILD_DIR [--only NAME ...]

guessing   wrong logins for 10 s against one camera of both protocols, over
           HTTP Digest, the MAC login, ONVIF UsernameToken and ONVIF Digest
           in turn: wrong guesses the camera checked per second (after its
           burst of 3), once from one source and once from a new 127.x
           source for every attempt
replay     one captured UsernameToken sent again 300 times (reads and
           gateway writes, from another address and, 2.5 s later, from its
           own) and one captured Digest answer 100 times: how many were taken
flood      a 5 s flood of probes from 3 processes as fast as they send,
           100 and 1000 cameras, our discovery and WS-Discovery: the time
           from the flood's end to the last answer of the first new search
           that every camera answered
updates    20 rounds of an HTTP apply of a new password and, at the same
           moment, an ONVIF gateway write with the old credentials, on a
           camera that waits for the restart command; then the restart:
           rounds in which an accepted change was lost
"""
import argparse
import base64
import datetime
import hashlib
import json
import multiprocessing
import os
import random
import re
import resource
import socket
import subprocess
import sys
import tempfile
import threading
import time
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from hostile_figures import GROUP, ask, digest_header, free_udp_port, group_socket, hexnonce, sender  # noqa: E402

WSD_GROUP = "239.255.255.250"
DEVICE = "/onvif/device_service"
NS = ('xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" '
      'xmlns:tt="http://www.onvif.org/ver10/schema"')
DIGEST_TYPE = ("http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0"
               "#PasswordDigest")
BURST = 3  # GuessBudget::Burst


class Sim:
    """sentrova-camd with a fleet file (or --count arguments), on its own ports."""

    def __init__(self, camd, cameras=None, extra=()):
        self.port = free_udp_port()
        self.wsd_port = free_udp_port()
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "camd.log")
        fleet = []
        if cameras is not None:
            path = os.path.join(self.dir.name, "fleet.json")
            with open(path, "w") as f:
                json.dump({"cameras": cameras}, f)
            fleet = ["--fleet", path]
        self.process = subprocess.Popen(
            [camd, *fleet, "--discovery-port", str(self.port), "--onvif-discovery-port", str(self.wsd_port),
             "--log", self.log, "--restart-ms", "300", *extra], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if os.path.exists(self.log) and "sim ready" in open(self.log).read():
                return
            time.sleep(0.05)
        sys.exit("promises_figures: sentrova-camd did not get ready")

    def count(self, pattern):
        return len(re.findall(pattern, open(self.log).read()))

    def stop(self):
        self.process.kill()
        self.process.wait(timeout=30)
        self.dir.cleanup()


def random_prefix():
    return "127.%d.%d." % (random.randint(100, 200), random.randint(1, 200))


def both_protocols_camera(prefix):
    return {"mac": "0.12.34.%s.0.10" % prefix.split(".")[1], "family": 2, "protocols": ["sentrova", "onvif"],
            "version": "2.10.001",  # waits for the restart command
            "settings": {"SysIPAddress": prefix + "10", "SysDefaultGateway": prefix + "1",
                         "SysAdminID": "admin", "SysAdminPassword": "1234"}}


def http(address, request, source=None, timeout=5.0):
    """One request on a fresh connection: (status, head, body)."""
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.settimeout(timeout)
    try:
        if source:
            s.bind((source, 0))
        s.connect((address, 80))
        s.sendall(request)
        data = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            data += chunk
            head, _, body = data.partition(b"\r\n\r\n")
            found = re.search(rb"Content-Length: (\d+)", head, re.I)
            if found and len(body) >= int(found.group(1)):
                break
    except OSError:
        return 0, b"", b""
    finally:
        s.close()
    head, _, body = data.partition(b"\r\n\r\n")
    status = int(head.split(b" ")[1]) if head.startswith(b"HTTP/") else 0
    return status, head, body


def request(method, path, body=b"", authorization=None):
    extra = b"Authorization: " + authorization.encode() + b"\r\n" if authorization else b""
    return (method.encode() + b" " + path.encode() + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
            b"Content-Length: " + str(len(body)).encode() + b"\r\n" + extra + b"\r\n" + body)


def token(user, password, created=None):
    nonce = os.urandom(16)
    created = created or datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%S.%f")[:-3] + "Z"
    digest = base64.b64encode(hashlib.sha1(nonce + created.encode() + password.encode()).digest()).decode()
    return ('<Security xmlns="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd">'
            '<UsernameToken><Username>%s</Username><Password Type="%s">%s</Password><Nonce>%s</Nonce>'
            '<Created xmlns="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd">%s'
            '</Created></UsernameToken></Security>' % (user, DIGEST_TYPE, digest, base64.b64encode(nonce).decode(), created))


def soap(operation, header=""):
    return ('<s:Envelope %s><s:Header>%s</s:Header><s:Body>%s</s:Body></s:Envelope>' % (NS, header, operation)).encode()


def gateway_write(gateway):
    return ("<tds:SetNetworkDefaultGateway><tds:IPv4Address>%s</tds:IPv4Address></tds:SetNetworkDefaultGateway>"
            % gateway)


def digest_exchange(address, method, path, user, password, body=b"", source=None):
    """A request answered with Digest after the 401: (status, the Authorization sent)."""
    status, head, _ = http(address, request(method, path, body), source)
    challenge = re.search(rb"WWW-Authenticate: (Digest [^\r]*)", head)
    if status != 401 or not challenge:
        return status, None
    authorization = digest_header(challenge.group(1).decode(), user, password, method, path)
    return http(address, request(method, path, body, authorization), source)[0], authorization


# ---- guessing ----

def guess_once(way, address, mac, port, source, channel):
    if way == "http":
        digest_exchange(address, "GET", "/setup/v1/hello", "admin", hexnonce(8), source=source)
    elif way == "token":
        http(address, request("POST", DEVICE, soap("<tds:GetUsers/>", token("admin", hexnonce(8)))), source)
    elif way == "onvif-digest":
        digest_exchange(address, "POST", DEVICE, "admin", hexnonce(8), soap("<tds:GetUsers/>"), source)
    else:
        listener, out = channel
        challenge = ask(listener, out, port, {"v": 1, "op": "challenge", "nonce": hexnonce(), "mac": mac},
                        "challenge", "state", 0.5)
        if challenge:
            login = {"v": 1, "op": "login", "nonce": hexnonce(), "mac": mac, "id": "admin",
                     "challenge": challenge["challenge"], "proof": hexnonce(64)}
            ask(listener, out, port, login, "login", "state", 0.5)


def guessing(build):
    seconds = 10
    for sources in ("one source", "a new 127.x source each"):
        prefix = random_prefix()
        camera = both_protocols_camera(prefix)
        sim = Sim(os.path.join(build, "src/camd/sentrova-camd"), [camera])
        try:
            attempts = [0]
            end = time.monotonic() + seconds

            def worker(index):
                channel = (group_socket(sim.port), sender("127.0.0.1", sim.port))
                ways = ["http", "token", "onvif-digest", "mac"]
                while time.monotonic() < end:
                    source = None if sources == "one source" else "127.%d.%d.%d" % (
                        random.randint(1, 99), random.randint(0, 255), random.randint(1, 254))
                    guess_once(ways[(attempts[0] + index) % 4], prefix + "10", camera["mac"], sim.port, source, channel)
                    attempts[0] += 1

            threads = [threading.Thread(target=worker, args=(i,)) for i in range(4)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            checked = sim.count(r" login refused status=401") + \
                sim.count(r"refused=token-wrong") + sim.count(r"refused=digest-wrong") + \
                sim.count(r"udp login nonce=\w+ id=admin state=2\n")
            print("guessing (%s): %d attempts (%.0f/s), %d wrong guesses checked in %d s: %.2f/s after the burst of %d"
                  % (sources, attempts[0], attempts[0] / seconds, checked, seconds,
                     max(0, checked - BURST) / seconds, BURST))
        finally:
            sim.stop()


# ---- replay ----

def replay(build):
    prefix = random_prefix()
    camera = both_protocols_camera(prefix)
    camera["protocols"] = ["onvif"]
    del camera["family"]
    sim = Sim(os.path.join(build, "src/camd/sentrova-camd"), [camera])
    address, elsewhere = prefix + "10", prefix + "200"
    try:
        captured = token("admin", "1234")
        first = http(address, request("POST", DEVICE, soap("<tds:GetUsers/>", captured)))[0]
        taken = 0
        for i in range(100):
            taken += http(address, request("POST", DEVICE, soap("<tds:GetUsers/>", captured)), elsewhere)[0] == 200
            taken += http(address, request("POST", DEVICE, soap(gateway_write(prefix + "254"), captured)), elsewhere)[0] == 200
        time.sleep(2.5)
        for i in range(100):
            taken += http(address, request("POST", DEVICE, soap(gateway_write(prefix + "254"), captured)))[0] == 200
        status, authorization = digest_exchange(address, "POST", DEVICE, "admin", "1234", soap("<tds:GetUsers/>"))
        digest_taken = sum(http(address, request("POST", DEVICE, soap("<tds:GetUsers/>"), authorization), elsewhere)[0] == 200
                           for _ in range(100))
        print("replay: first use %d/%d; replayed UsernameToken accepted %d of 300; replayed Digest answer accepted %d of 100"
              % (first, status, taken, digest_taken))
    finally:
        sim.stop()


# ---- flood ----

def flood_process(group, port, datagrams, seconds, counter):
    s = sender("127.0.0.1", port)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
    end = time.monotonic() + seconds
    sent = 0
    while time.monotonic() < end:
        for datagram in datagrams:
            try:
                s.sendto(datagram, (group, port))
                sent += 1
            except OSError:
                pass
    with counter.get_lock():
        counter.value += sent


def wsd_probe(message_id):
    return ('<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:w="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery" '
            'xmlns:dn="http://www.onvif.org/ver10/network/wsdl"><e:Header><w:MessageID>%s</w:MessageID>'
            '<w:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</w:To>'
            '<w:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</w:Action></e:Header>'
            '<e:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></e:Body></e:Envelope>'
            % message_id).encode()


def search_ours(sim, listener, out, expected):
    """One search as the PC makes it: 5 copies 10 ms apart, then listening until 110 ms after the last
    copy and 60 ms after the last new camera (2 s at most); the time of the last new answer, or None."""
    nonce = hexnonce()
    datagram = json.dumps({"v": 1, "op": "probe", "nonce": nonce}).encode()
    for _ in range(5):
        out.sendto(datagram, (GROUP, sim.port))
        time.sleep(0.01)
    start = time.monotonic()
    macs, last = set(), start
    listener.settimeout(0.01)
    while time.monotonic() < min(start + 2.0, max(start + 0.11, last + 0.06)) and len(macs) < expected:
        try:
            data = listener.recv(2048)
        except socket.timeout:
            continue
        if nonce.encode() in data and b'"op":"here"' in data:
            mac = re.search(rb'"mac":"([^"]+)"', data)
            if mac and mac.group(1) not in macs:
                macs.add(mac.group(1))
                last = time.monotonic()
    return last if len(macs) >= expected else None


def search_onvif(sim, expected):
    """One WS-Discovery search: 3 copies 100 ms apart, listening until 600 ms after the last copy;
    the time of the last new answer, or None."""
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
    s.bind(("127.0.0.1", 0))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
    message_id = "urn:uuid:%s" % uuid.uuid4()
    sources, last, end, next_copy, copies = set(), None, time.monotonic() + 0.8, 0.0, 0
    s.settimeout(0.01)
    while time.monotonic() < end and len(sources) < expected:
        if copies < 3 and time.monotonic() >= next_copy:
            s.sendto(wsd_probe(message_id), (WSD_GROUP, sim.wsd_port))
            copies += 1
            next_copy = time.monotonic() + 0.1
        try:
            data, source = s.recvfrom(65536)
        except socket.timeout:
            continue
        if message_id.encode() in data and source[0] not in sources:
            sources.add(source[0])
            last = time.monotonic()
    s.close()
    return last if len(sources) >= expected else None


def flood(build):
    for protocol in ("ours", "ws-discovery"):
        for cameras in (100, 1000):
            prefix = random_prefix()
            sim = Sim(os.path.join(build, "src/camd/sentrova-camd"), None,
                      ["--count", str(cameras), "--first-address", prefix + "10",
                       "--protocols", "sentrova" if protocol == "ours" else "onvif"])
            try:
                listener, out = group_socket(sim.port), sender("127.0.0.1", sim.port)
                if protocol == "ours":
                    group, port = GROUP, sim.port
                    datagrams = [json.dumps({"v": 1, "op": "probe", "nonce": hexnonce()}).encode() for _ in range(256)]
                else:
                    group, port = WSD_GROUP, sim.wsd_port
                    datagrams = [wsd_probe("urn:uuid:%s" % uuid.uuid4()) for _ in range(256)]
                counter = multiprocessing.Value("l", 0)
                floods = [multiprocessing.Process(target=flood_process, args=(group, port, datagrams, 5, counter))
                          for _ in range(3)]
                for p in floods:
                    p.start()
                for p in floods:
                    p.join()
                flood_end = time.monotonic()
                done = None
                while done is None and time.monotonic() - flood_end < 60:
                    done = search_ours(sim, listener, out, cameras) if protocol == "ours" else search_onvif(sim, cameras)
                print("flood (%s, %d cameras): %.0f probes/s for 5 s; a new search answered whole %s after the flood"
                      % (protocol, cameras, counter.value / 5.0,
                         "%.2f s" % (done - flood_end) if done else "not within 60 s"))
            finally:
                sim.stop()


# ---- lost updates ----

def updates(build):
    prefix = random_prefix()
    camera = both_protocols_camera(prefix)
    sim = Sim(os.path.join(build, "src/camd/sentrova-camd"), [camera])
    address = prefix + "10"
    password, lost, both_taken = "1234", 0, 0
    try:
        for round_ in range(20):
            new_password, gateway = "pw%02d" % round_, prefix + str(100 + round_)
            results = {}

            def apply_http():
                time.sleep(random.random() * 0.01)
                results["http"] = digest_exchange(address, "POST", "/setup/v1/apply", "admin", password,
                                                  json.dumps({"settings": {"SysAdminPassword": new_password}}).encode())[0]

            def write_onvif():
                time.sleep(random.random() * 0.01)
                results["onvif"] = http(address, request("POST", DEVICE, soap(gateway_write(gateway),
                                                                              token("admin", password))))[0]

            threads = [threading.Thread(target=apply_http), threading.Thread(target=write_onvif)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            digest_exchange(address, "POST", "/setup/v1/restart", "admin", password)
            time.sleep(0.1)
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and digest_exchange(address, "GET", "/setup/v1/hello", "admin",
                                                                  new_password)[0] != 200:
                time.sleep(0.05)
            has_password = digest_exchange(address, "GET", "/setup/v1/hello", "admin", new_password)[0] == 200
            read = http(address, request("POST", DEVICE, soap("<tds:GetNetworkDefaultGateway/>",
                                                              token("admin", new_password if has_password else password))))
            has_gateway = gateway.encode() in read[2]
            both_taken += results.get("http") == 200 and results.get("onvif") == 200
            lost += (results.get("http") == 200 and not has_password) + (results.get("onvif") == 200 and not has_gateway)
            if has_password:
                password = new_password
        print("updates: 20 rounds, both writes accepted in %d; accepted changes lost after the restart: %d"
              % (both_taken, lost))
    finally:
        sim.stop()


FIGURES = {"guessing": guessing, "replay": replay, "flood": flood, "updates": updates}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--only", nargs="*", choices=sorted(FIGURES))
    args = parser.parse_args()
    resource.setrlimit(resource.RLIMIT_NOFILE, (8192, 8192))
    for name in args.only or FIGURES:
        FIGURES[name](args.build)


if __name__ == "__main__":
    main()

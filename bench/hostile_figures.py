#!/usr/bin/env python3
"""What a hostile network does to the search and the simulator, measured.

Everything stays on loopback. Builds nothing: give it a build folder with
sentrova-camd and sentrova-cli. Prints one line per figure:

    python3 bench/hostile_figures.py BUILD_DIR [--only NAME ...]

search-flood   a search (cap 2 s) while other processes flood the group with
               answers to another search for 6 s: how long the search took,
               the flood's rate, and whether the camera was still listed;
               once on loopback (where the camera hears the flood too) and
               once with the camera in a network namespace of its own, the
               flood coming over the camera's link to the PC only
onvif-flood    128 forged ProbeMatches of 360 matches each (every endpoint new,
               relating to the search's first WS-Discovery probe, about 7 MB)
               sent to sentrova-cli's probe port, once as fast as one thread
               can and once paced so that the receive buffer keeps them all:
               how long the search took (budget: its 2 s cap), how many rows
               the flood got, and whether the real camera was listed
probe-flood    50 000 and 150 000 probes sent to a one-camera simulator as fast
               as possible: seconds until a fresh probe is answered, peak RSS
http-limits    one 256 MiB header, one 1 GiB body (declared, then sent until
               the camera stops reading), 2000 idle connections after 10 s,
               and whether the setup port answers after descriptor exhaustion
               (4 runs)
guessing       wrong Digest logins one after another for 20 s: their rate
challenges     10 correct logins by MAC and 10 by Digest while 20 000 MAC
               challenge requests/s and a flood of Digest challenges run
"""
import argparse
import hashlib
import hmac
import json
import multiprocessing
import os
import random
import re
import resource
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

GROUP = "239.255.42.61"


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def hexnonce(chars=16):
    return "".join(random.choice("0123456789abcdef") for _ in range(chars))


class Camd:
    """One simulated camera at PREFIX.10 (family 2, admin/1234)."""

    def __init__(self, camd, extra=(), prefix=None, netns=None, protocols=("sentrova",)):
        self.port = free_udp_port()
        self.dir = tempfile.TemporaryDirectory()
        self.prefix = prefix or "127.%d.%d." % (random.randint(100, 200), random.randint(1, 200))
        self.address = self.prefix + "10"
        self.mac = "0.12.34.%s.0.10" % self.prefix.split(".")[1]
        fleet = os.path.join(self.dir.name, "fleet.json")
        with open(fleet, "w") as f:
            json.dump({"cameras": [{"mac": self.mac, "family": 2, "version": "2.11.003", "protocols": list(protocols),
                                    "settings": {"SysIPAddress": self.address, "SysAdminID": "admin",
                                                 "SysAdminPassword": "1234"}}]}, f)
        self.log = os.path.join(self.dir.name, "camd.log")
        inside = ["nsenter", "--net=/run/netns/" + netns] if netns else []
        self.process = subprocess.Popen(
            [*inside, camd, "--fleet", fleet, "--discovery-port", str(self.port), "--log", self.log,
             "--answer-spread-ms", "20", *extra], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if os.path.exists(self.log) and "sim ready" in open(self.log).read():
                return
            time.sleep(0.05)
        sys.exit("hostile_figures: sentrova-camd did not get ready")

    def rss_peak_mib(self):
        for line in open("/proc/%d/status" % self.process.pid):
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0
        return float("nan")

    def alive(self):
        return self.process.poll() is None

    def stop(self):
        self.process.kill()
        self.process.wait(timeout=30)
        self.dir.cleanup()


def group_socket(port, source="127.0.0.1"):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    # The component's receive buffer, so that a flood measures the camera
    # rather than this script's reading speed.
    s.setsockopt(socket.SOL_SOCKET, 33 if os.geteuid() == 0 else socket.SO_RCVBUF, 4 << 20)  # 33: SO_RCVBUFFORCE
    s.bind((GROUP, port))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 socket.inet_aton(GROUP) + socket.inet_aton("127.0.0.1"))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(source))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
    return s


def sender(source, port):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((source, 0))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(source))
    return s


def ask(listener, out, port, request, reply_op, marker, timeout=2.0, copies=1):
    """Sends `copies` copies 100 ms apart, as the component does; the first reply."""
    datagram = json.dumps(request).encode()
    out.sendto(datagram, (GROUP, port))
    sent = 1
    next_copy = time.monotonic() + 0.1
    deadline = time.monotonic() + timeout
    listener.settimeout(0.01)
    while time.monotonic() < deadline:
        if sent < copies and time.monotonic() >= next_copy:
            out.sendto(datagram, (GROUP, port))
            sent += 1
            next_copy += 0.1
        try:
            data = listener.recv(2048)
        except socket.timeout:
            continue
        try:
            message = json.loads(data)
        except ValueError:
            continue
        if message.get("op") == reply_op and message.get("nonce") == request["nonce"] and marker in message:
            return message
    return None


def enter_netns(name):
    """Moves the calling process into network namespace NAME."""
    import ctypes
    with open("/run/netns/" + name) as f:
        if ctypes.CDLL(None, use_errno=True).setns(f.fileno(), 0x40000000) != 0:  # CLONE_NEWNET
            raise OSError(ctypes.get_errno(), "setns " + name)


def flood_process(source, port, datagram, seconds, counter, netns=None):
    if netns:
        enter_netns(netns)
    s = sender(source, port)
    # Not looped back: in a namespace the camera beside the flood does not
    # hear it, only the PC at the other end of the link does.
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 0 if netns else 1)
    end = time.monotonic() + seconds
    sent = 0
    while time.monotonic() < end:
        for _ in range(200):
            try:
                s.sendto(datagram, (GROUP, port))
                sent += 1
            except OSError:
                pass
    with counter.get_lock():
        counter.value += sent


class LinkedNamespaces:
    """The PC (pc0, 10.79.0.2) and the camera (cam0, .10; the flood at .60),
    each in a network namespace of its own, joined by a veth pair."""

    def __init__(self):
        tag = str(os.getpid())
        self.pc, self.cam = "sv-hf-pc-" + tag, "sv-hf-cam-" + tag
        run = lambda *a: subprocess.run(a, check=True, capture_output=True)
        run("ip", "netns", "add", self.pc)
        run("ip", "netns", "add", self.cam)
        run("ip", "link", "add", "pc0", "netns", self.pc, "type", "veth", "peer", "name", "cam0", "netns", self.cam)
        for ns, dev, addresses in ((self.pc, "pc0", ["10.79.0.2/24"]), (self.cam, "cam0", ["10.79.0.10/24", "10.79.0.60/24"])):
            inside = ["nsenter", "--net=/run/netns/" + ns]
            run(*inside, "ip", "link", "set", "lo", "up")
            for address in addresses:
                run(*inside, "ip", "addr", "add", address, "dev", dev)
            run(*inside, "ip", "link", "set", dev, "up")
            run(*inside, "ip", "route", "add", "224.0.0.0/4", "dev", dev)

    def close(self):
        for ns in (self.pc, self.cam):
            subprocess.run(["ip", "netns", "del", ns], capture_output=True)


def flooded_search(build, sim, flood_source, cli_prefix, interface, netns=None):
    answer = {"v": 1, "op": "here", "nonce": "0123456789abcdef", "mac": "9.9.9.9.9.9",
              "address": flood_source, "mask": "255.255.255.0", "gateway": "", "mode": "X-350",
              "caption": "Flood", "version": "1.00.000", "family": 2, "port": 80}
    datagram = json.dumps(answer).encode()
    counter = multiprocessing.Value("l", 0)
    floods = [multiprocessing.Process(target=flood_process, args=(flood_source, sim.port, datagram, 6, counter, netns))
              for _ in range(3)]
    for p in floods:
        p.start()
    time.sleep(0.5)
    start = time.monotonic()
    out = subprocess.run([*cli_prefix, os.path.join(build, "src/cli/sentrova-cli"), "search", "--interface", interface,
                          "--port", str(sim.port), "--json"], capture_output=True, text=True, timeout=60)
    took = time.monotonic() - start
    for p in floods:
        p.join()
    return took, counter.value / 6.0, sim.address in out.stdout


def search_flood(build):
    camd = os.path.join(build, "src/camd/sentrova-camd")
    sim = Camd(camd)
    try:
        took, rate, listed = flooded_search(build, sim, sim.prefix + "60", [], "lo")
        print("search-flood: on loopback, search took %.2f s under %.0f datagrams/s for 6 s; real camera listed: %s"
              % (took, rate, "yes" if listed else "no"))
    finally:
        sim.stop()
    try:
        link = LinkedNamespaces()
    except (OSError, subprocess.CalledProcessError) as e:
        print("search-flood: no network namespaces here (%s); the figure over a link is left out" % e)
        return
    try:
        sim = Camd(camd, extra=("--interface", "cam0"), prefix="10.79.0.", netns=link.cam)
        try:
            took, rate, listed = flooded_search(build, sim, "10.79.0.60", ["nsenter", "--net=/run/netns/" + link.pc],
                                                "pc0", netns=link.cam)
            print("search-flood: over a link, search took %.2f s under %.0f datagrams/s for 6 s; real camera listed: %s"
                  % (took, rate, "yes" if listed else "no"))
        finally:
            sim.stop()
    finally:
        link.close()


def probe_flood(build):
    for count in (50000, 150000):
        sim = Camd(os.path.join(build, "src/camd/sentrova-camd"))
        try:
            listener = group_socket(sim.port)
            out = sender("127.0.0.1", sim.port)
            for _ in range(count):
                out.sendto(json.dumps({"v": 1, "op": "probe", "nonce": hexnonce()}).encode(), (GROUP, sim.port))
            start = time.monotonic()
            answered = None
            while time.monotonic() - start < 200:
                if ask(listener, out, sim.port, {"v": 1, "op": "probe", "nonce": hexnonce()}, "here", "mac", 1.0):
                    answered = time.monotonic() - start
                    break
            dropped = re.findall(r"sim answers dropped=(\d+)", open(sim.log).read())
            print("probe-flood: %d probes: answered again after %s; peak RSS %.0f MiB; answers dropped %s"
                  % (count, "%.2f s" % answered if answered is not None else "no answer in 200 s",
                     sim.rss_peak_mib(), sum(int(d) for d in dropped)))
        finally:
            sim.stop()


def http_status(address, request, timeout=5.0, send_body=None):
    s = socket.create_connection((address, 80), timeout=timeout)
    try:
        s.sendall(request)
        if send_body:
            send_body(s)
        data = b""
        while b"\r\n" not in data:
            chunk = s.recv(4096)
            if not chunk:
                break
            data += chunk
        return data.split(b" ")[1].decode() if data else "no answer"
    except OSError as error:
        return "connection error (%s)" % error.strerror
    finally:
        s.close()


def digest_header(challenge, user, password, method, uri):
    fields = dict(re.findall(r'(\w+)="?([^",]*)"?', challenge))
    algorithm = fields.get("algorithm", "MD5")
    h = hashlib.md5 if algorithm == "MD5" else hashlib.sha256
    cnonce = hexnonce()
    ha1 = h(("%s:%s:%s" % (user, fields["realm"], password)).encode()).hexdigest()
    ha2 = h(("%s:%s" % (method, uri)).encode()).hexdigest()
    response = h(("%s:%s:00000001:%s:auth:%s" % (ha1, fields["nonce"], cnonce, ha2)).encode()).hexdigest()
    return ('Digest username="%s", realm="%s", nonce="%s", uri="%s", algorithm=%s, response="%s", qop=auth, '
            'nc=00000001, cnonce="%s"' % (user, fields["realm"], fields["nonce"], uri, algorithm, response, cnonce))


def http_login(address, user, password, timeout=5.0):
    def exchange(extra=b""):
        s = socket.create_connection((address, 80), timeout=timeout)
        s.sendall(b"GET /setup/v1/hello HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + extra + b"\r\n")
        data = b""
        while True:
            chunk = s.recv(4096)
            if not chunk:
                break
            data += chunk
            if b"\r\n\r\n" in data:
                head, _, body = data.partition(b"\r\n\r\n")
                length = int(re.search(rb"Content-Length: (\d+)", head).group(1))
                if len(body) >= length:
                    break
        s.close()
        return data
    first = exchange()
    challenge = re.search(rb"WWW-Authenticate: (Digest [^\r]*)", first)
    if not challenge:
        return first.split(b" ")[1].decode() if first else "no answer"
    second = exchange(b"Authorization: " + digest_header(challenge.group(1).decode(), user, password, "GET",
                                                          "/setup/v1/hello").encode() + b"\r\n")
    return second.split(b" ")[1].decode() if second else "no answer"


def http_limits(build):
    camd = os.path.join(build, "src/camd/sentrova-camd")
    sim = Camd(camd)
    try:
        status = http_status(sim.address, b"GET /setup/v1/hello HTTP/1.1\r\nX-Pad: ",
                             send_body=lambda s: [s.sendall(b"a" * (1 << 20)) for _ in range(256)])
        print("http-limits: 256 MiB header: %s, peak RSS %.0f MiB" % (status, sim.rss_peak_mib()))
    finally:
        sim.stop()
    sim = Camd(camd)
    try:
        def body(s):
            s.settimeout(5)
            try:
                for _ in range(1024):
                    s.sendall(b"{" * (1 << 20))
            except OSError:
                pass
        status = http_status(sim.address, b"POST /setup/v1/apply HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % (1 << 30),
                             send_body=body)
        print("http-limits: 1 GiB body: %s, peak RSS %.0f MiB" % (status, sim.rss_peak_mib()))
    finally:
        sim.stop()
    sim = Camd(camd)
    try:
        held = []
        for _ in range(2000):
            try:
                held.append(socket.create_connection((sim.address, 80), timeout=2))
            except OSError:
                break
        time.sleep(10)
        still = 0
        for s in held:
            s.setblocking(False)
            try:
                s.recv(1)  # an empty read: closed by the camera
            except BlockingIOError:
                still += 1
            except OSError:
                pass
            s.close()
        print("http-limits: %d idle connections opened, %d still open after 10 s" % (len(held), still))
    finally:
        sim.stop()
    alive = 0
    for _ in range(4):
        sim = Camd(camd)
        try:
            fds = len(os.listdir("/proc/%d/fd" % sim.process.pid))
            subprocess.run(["prlimit", "--pid", str(sim.process.pid), "--nofile=%d:%d" % (fds + 8, fds + 8)], check=True)
            held = []
            for _ in range(40):
                try:
                    held.append(socket.create_connection((sim.address, 80), timeout=1))
                except OSError:
                    pass
            time.sleep(0.5)
            for s in held:
                s.close()
            time.sleep(1.5)
            if http_login(sim.address, "admin", "1234") == "200":
                alive += 1
        finally:
            sim.stop()
    print("http-limits: setup port answering after descriptor exhaustion in %d of 4 runs" % alive)


def guessing(build):
    sim = Camd(os.path.join(build, "src/camd/sentrova-camd"))
    try:
        start = time.monotonic()
        checked = 0
        turned_away = 0
        while time.monotonic() - start < 20:
            status = http_login(sim.address, "admin", "guess%d" % checked, timeout=30)
            if status == "401":
                checked += 1
            else:
                turned_away += 1
        took = time.monotonic() - start
        print("guessing: %d wrong Digest logins checked in %.1f s (%.2f/s); %d more attempts turned away unchecked"
              % (checked, took, checked / took, turned_away))
    finally:
        sim.stop()


def challenge_flood(source, port, mac, seconds, rate):
    s = sender(source, port)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        tick = time.monotonic()
        for _ in range(rate // 100):
            s.sendto(json.dumps({"v": 1, "op": "challenge", "nonce": hexnonce(), "mac": mac}).encode(), (GROUP, port))
        time.sleep(max(0.0, 0.01 - (time.monotonic() - tick)))


def digest_flood(address, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            http_status(address, b"GET /setup/v1/hello HTTP/1.1\r\n\r\n", timeout=1)
        except OSError:
            pass


def challenges(build):
    sim = Camd(os.path.join(build, "src/camd/sentrova-camd"))
    try:
        flood = multiprocessing.Process(target=challenge_flood, args=("127.0.0.1", sim.port, sim.mac, 8, 20000))
        digest = [threading.Thread(target=digest_flood, args=(sim.address, 8)) for _ in range(4)]
        flood.start()
        for t in digest:
            t.start()
        time.sleep(0.5)
        listener = group_socket(sim.port)
        out = sender("127.0.0.1", sim.port)
        mac_ok = 0
        refused = 0
        for _ in range(10):
            challenge = ask(listener, out, sim.port, {"v": 1, "op": "challenge", "nonce": hexnonce(), "mac": sim.mac},
                            "challenge", "state", timeout=0.4, copies=3)
            if not challenge:
                continue
            login = {"v": 1, "op": "login", "nonce": hexnonce(), "mac": sim.mac, "id": "admin",
                     "challenge": challenge["challenge"]}
            message = ":".join([login["challenge"], login["nonce"], sim.mac, "admin"])
            login["proof"] = hmac.new(b"1234", message.encode(), hashlib.sha256).hexdigest()
            reply = ask(listener, out, sim.port, login, "login", "state", timeout=0.4, copies=3)
            if reply and reply["state"] == 3:
                mac_ok += 1
            elif reply:
                refused += 1
        digest_ok = sum(1 for _ in range(10) if http_login(sim.address, "admin", "1234") == "200")
        flood.join()
        for t in digest:
            t.join()
        # What the camera answered, beside what this script heard in the
        # flood (it reads the group more slowly than the flood fills it).
        logins = [l for l in open(sim.log) if " udp login " in l and " repeated" not in l]
        granted = sum(1 for l in logins if " state=3" in l)
        print("challenges: under a flood of challenges, %d of 10 correct MAC logins succeeded as heard here (%d refused "
              "as a wrong password, the rest unheard); the camera granted %d and refused %d of the %d it received; "
              "%d of 10 correct Digest logins" % (mac_ok, refused, granted, len(logins) - granted, len(logins), digest_ok))
    finally:
        sim.stop()


WSD_GROUP = "239.255.255.250"
FORGED_DATAGRAMS = 128
FORGED_MATCHES = 360
SEARCH_CAP_S = 2.0


def forged_matches(relates_to, first):
    matches = "".join(
        "<d:ProbeMatch><a:EndpointReference><a:Address>urn:uuid:f-%d-%d</a:Address></a:EndpointReference>"
        "<d:Types>dn:NetworkVideoTransmitter</d:Types></d:ProbeMatch>" % (first, m) for m in range(FORGED_MATCHES))
    return ('<e:Envelope xmlns:e="http://www.w3.org/2003/05/soap-envelope" '
            'xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" '
            'xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><e:Header><a:RelatesTo>%s</a:RelatesTo>'
            '</e:Header><e:Body><d:ProbeMatches>%s</d:ProbeMatches></e:Body></e:Envelope>'
            % (relates_to, matches)).encode()


def forge_probe_matches(port, source, paced, ready, report):
    """Hears the first WS-Discovery probe on loopback and answers it with the
    forged datagrams, unicast from `source` to the probe's source port."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((WSD_GROUP, port))
    listener.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                        socket.inet_aton(WSD_GROUP) + socket.inet_aton("127.0.0.1"))
    listener.settimeout(10)
    ready.set()
    out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    out.bind((source, 0))
    try:
        while True:
            data, to = listener.recvfrom(65536)
            found = re.search(rb"<a:MessageID>([^<]*)</a:MessageID>", data)
            if found and b"Probe>" in data:
                break
    except socket.timeout:
        report["error"] = "no probe heard"
        return
    # Made beforehand from a template, so that the flood leaves at once.
    template = [forged_matches("RELATES-TO", d) for d in range(FORGED_DATAGRAMS)]
    datagrams = [t.replace(b"RELATES-TO", found.group(1)) for t in template]
    start = time.monotonic()
    for i, datagram in enumerate(datagrams):
        out.sendto(datagram, to)
        if paced and i % 8 == 7:
            time.sleep(0.002)
    report["seconds"] = time.monotonic() - start
    report["bytes"] = sum(len(d) for d in datagrams)


def onvif_flood(build):
    camd = os.path.join(build, "src/camd/sentrova-camd")
    wsd_port = free_udp_port()
    sim = Camd(camd, extra=("--onvif-discovery-port", str(wsd_port)), protocols=("onvif",))
    try:
        for paced in (False, True):
            ready, report = threading.Event(), {}
            forger = threading.Thread(target=forge_probe_matches,
                                      args=(wsd_port, sim.prefix + "60", paced, ready, report))
            forger.start()
            ready.wait()
            start = time.monotonic()
            done = subprocess.run([os.path.join(build, "src/cli/sentrova-cli"), "search", "--interface", "lo",
                                   "--port", str(sim.port), "--onvif-port", str(wsd_port), "--json"],
                                  capture_output=True, text=True, timeout=600)
            took = time.monotonic() - start
            forger.join()
            if "error" in report:
                print("onvif-flood: %s" % report["error"])
                continue
            rows = json.loads(done.stdout) if done.stdout.strip() else []
            forged = sum(1 for r in rows if r["address"] == sim.prefix + "60")
            real = any(r["address"] == sim.address for r in rows)
            print("onvif-flood: %s (%d datagrams, %.1f MB in %.2f s): search took %.2f s (budget %.0f s: %s); "
                  "%d rows from the forger; real camera listed: %s"
                  % ("paced" if paced else "at once", FORGED_DATAGRAMS, report["bytes"] / 1e6, report["seconds"],
                     took, SEARCH_CAP_S, "within budget" if took <= SEARCH_CAP_S else "OVER BUDGET", forged,
                     "yes" if real else "no"))
    finally:
        sim.stop()


FIGURES = {"search-flood": search_flood, "onvif-flood": onvif_flood, "probe-flood": probe_flood, "http-limits": http_limits,
           "guessing": guessing, "challenges": challenges}


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

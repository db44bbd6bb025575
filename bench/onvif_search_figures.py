#!/usr/bin/env python3
"""ONVIF search figures: 50 simulated ONVIF-only cameras, each answering a
WS-Discovery probe after a random 0-500 ms, found by sentrova-cli and by two
ONVIF clients we did not write, side by side in one run; then sentrova-cli
alone with 5 % of datagrams lost each way.

The cameras live in a network namespace of their own, joined by a veth pair
to the namespace the clients search from (such clients skip 127.0.0.1):

    [client ns] c0 10.62.0.2/24 ---veth--- s0 [camera ns] 10.62.0.10 .. 10.62.0.59

For each client: how many searches listed all 50 cameras, and the median
time to that complete list. sentrova-cli: when the last new row arrived,
as it logs it with --verbose (rows reach the window as they arrive), and
beside it when the search ended (the cli prints then) and the whole
process. With loss: each camera drops 9.75 % of its answers, which is what
5 % lost on the way in and 5 % on the way out make (1 - 0.95^2: a camera
answers each MessageID once, so a lost probe and a lost answer cost the
same); this machine has no netem to drop on the link itself.
onvif-util -a: the whole process, since it prints at its end.
npm's onvif: Discovery.probe with its default timeout, from the call to
its callback. Needs root, iproute2, Debian's onvif-tools, nodejs and
node-xml2js; npm's onvif, kept in tests/third_party/npm, is unpacked under
BUILD_DIR/onvif-npm as the test suite does. Builds nothing:

    python3 bench/onvif_search_figures.py BUILD_DIR [--runs 100] [--util-runs 20] [--npm-runs 10]

--util-runs 0 and --npm-runs 0 leave those clients out.
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from search_bench import verdict  # noqa: E402

CAMERAS = 50
FIRST = 10
PREFIX = "10.62.0."
SHARE_BUDGET = 0.99
COMPLETE_BUDGET_MS = 600.0
LOSS_EACH_WAY = 0.05

NPM_PROBE = r"""
const onvif = require('onvif');
const start = Date.now();
onvif.Discovery.probe((err, cams) => {
  const hosts = err ? [] : [...new Set(cams.map(cam => cam.hostname))];
  console.log(JSON.stringify({ms: Date.now() - start, hosts, error: err ? String(err) : null}));
  process.exit(0);
});
"""


def run(*command, **kwargs):
    return subprocess.run(list(command), check=True, **kwargs)


def entering(ns):
    # Only the network namespace: "ip netns exec" also remounts /sys, which
    # fails inside a container.
    return ["nsenter", "--net=/run/netns/" + ns]


class Namespaces:
    def __init__(self):
        tag = os.getpid()
        self.client, self.cams = "sv-bc-%d" % tag, "sv-bs-%d" % tag
        run("ip", "netns", "add", self.client)
        run("ip", "netns", "add", self.cams)
        run("ip", "link", "add", "c0", "netns", self.client, "type", "veth", "peer", "name", "s0", "netns", self.cams)
        for ns, link in ((self.client, "c0"), (self.cams, "s0")):
            self.inside(ns, "ip", "link", "set", "lo", "up")
            self.inside(ns, "ip", "link", "set", link, "up")
            self.inside(ns, "ip", "route", "add", "224.0.0.0/4", "dev", link)
        self.inside(self.client, "ip", "addr", "add", PREFIX + "2/24", "dev", "c0")
        for host in range(FIRST, FIRST + CAMERAS):
            self.inside(self.cams, "ip", "addr", "add", "%s%d/24" % (PREFIX, host), "dev", "s0")

    @staticmethod
    def inside(ns, *command, **kwargs):
        return run(*entering(ns), *command, **kwargs)

    def remove(self):
        for ns in (self.client, self.cams):
            subprocess.run(["ip", "netns", "del", ns], stderr=subprocess.DEVNULL)


class Fleet:
    """The 50 cameras: a generated fleet speaking ONVIF only, on s0."""

    def __init__(self, camd, ns, answer_loss=0.0):
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "camd.log")
        self.process = subprocess.Popen(
            [*entering(ns), camd, "--count", str(CAMERAS), "--first-address", PREFIX + str(FIRST),
             "--protocols", "onvif", "--interface", "s0", "--drop-share", str(answer_loss), "--log", self.log],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                sys.exit("onvif_search_figures: sentrova-camd did not start")
            if os.path.exists(self.log) and "sim ready" in open(self.log).read():
                return
            time.sleep(0.05)
        sys.exit("onvif_search_figures: sentrova-camd did not get ready")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
        self.dir.cleanup()


def listed(hosts):
    return len({h for h in hosts if h.startswith(PREFIX) and FIRST <= int(h.rsplit(".", 1)[1]) < FIRST + CAMERAS})


def cli_search(cli, ns):
    """(cameras listed, ms to the last new row, ms to the end of the search, whole process ms)."""
    start = time.monotonic()
    done = subprocess.run([*entering(ns), cli, "search", "--interface", "c0", "--json", "--verbose"],
                          capture_output=True, text=True, timeout=30)
    elapsed = (time.monotonic() - start) * 1000.0
    if done.returncode != 0:
        sys.exit("onvif_search_figures: sentrova-cli failed: " + done.stderr[-500:])
    logged = re.search(r"found \d+ cameras in (\d+) ms; the last new one at (\d+) ms", done.stderr)
    if not logged:
        sys.exit("onvif_search_figures: sentrova-cli --verbose did not log its search")
    return (listed(c["address"] for c in json.loads(done.stdout)), float(logged.group(2)), float(logged.group(1)),
            elapsed)


def util_search(ns):
    """(cameras listed, whole process ms)."""
    start = time.monotonic()
    done = subprocess.run([*entering(ns), "onvif-util", "-a"], capture_output=True, text=True, timeout=60)
    elapsed = (time.monotonic() - start) * 1000.0
    return listed(re.findall(r"(\d+\.\d+\.\d+\.\d+) \(", done.stdout + done.stderr)), elapsed


def npm_search(ns, npm_folder):
    """(cameras listed, ms from the probe call to its callback)."""
    env = dict(os.environ, NODE_PATH=os.path.join(npm_folder, "node_modules") + ":/usr/share/nodejs")
    done = subprocess.run([*entering(ns), "node", "-e", NPM_PROBE], capture_output=True, text=True,
                          timeout=60, env=env)
    if done.returncode != 0:
        sys.exit("onvif_search_figures: node failed: " + done.stderr[-500:])
    answer = json.loads(done.stdout.strip().splitlines()[-1])
    return listed(answer["hosts"]), float(answer["ms"])


def line(name, results, runs):
    """One client's figures; each result is (cameras listed, ms to the complete list[, search end ms, whole
    process ms])."""
    if not results:
        return "%-26s not run" % name, 0.0, float("inf")
    complete = [r for r in results if r[0] == CAMERAS]
    median = statistics.median(r[1] for r in complete) if complete else float("inf")
    more = ""
    if complete and len(complete[0]) > 2:
        more = " (the search ends at %.0f ms, the whole process at %.0f ms)" % (
            statistics.median(r[2] for r in complete), statistics.median(r[3] for r in complete))
    text = ("%-26s all %d listed in %3d of %3d searches (%5.1f %%; fewest %d), median to a complete list %s%s"
            % (name, CAMERAS, len(complete), runs, 100.0 * len(complete) / runs, min(r[0] for r in results),
               "%.0f ms" % median if complete else "never", more))
    return text, len(complete) / runs, median


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--util-runs", type=int, default=20)
    parser.add_argument("--npm-runs", type=int, default=10)
    args = parser.parse_args()
    camd = os.path.abspath(os.path.join(args.build_dir, "src/camd/sentrova-camd"))
    cli = os.path.abspath(os.path.join(args.build_dir, "src/cli/sentrova-cli"))
    npm_folder = os.path.abspath(os.path.join(args.build_dir, "onvif-npm"))
    for tool in (camd, cli):
        if not os.access(tool, os.X_OK):
            sys.exit("onvif_search_figures: %s is missing; build sentrova-camd and sentrova-cli first" % tool)
    if os.geteuid() != 0:
        sys.exit("onvif_search_figures: needs root for the network namespaces")
    tools = ["ip", "nsenter"] + (["onvif-util"] if args.util_runs else []) + (["node"] if args.npm_runs else [])
    for tool in tools:
        if subprocess.run(["which", tool], capture_output=True).returncode != 0:
            sys.exit("onvif_search_figures: %s is missing" % tool)
    if args.npm_runs:
        unpack = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/support/unpack_onvif_npm.sh")
        run("bash", unpack, npm_folder)

    namespaces = Namespaces()
    try:
        fleet = Fleet(camd, namespaces.cams)
        try:
            ours = [cli_search(cli, namespaces.client) for _ in range(args.runs)]
            util = [util_search(namespaces.client) for _ in range(args.util_runs)]
            npm = [npm_search(namespaces.client, npm_folder) for _ in range(args.npm_runs)]
        finally:
            fleet.stop()
        fleet = Fleet(camd, namespaces.cams, answer_loss=1.0 - (1.0 - LOSS_EACH_WAY) ** 2)
        try:
            lossy = [cli_search(cli, namespaces.client) for _ in range(args.runs)]
        finally:
            fleet.stop()
    finally:
        namespaces.remove()

    print("%d ONVIF-only cameras, each answering after a random 0-500 ms:" % CAMERAS)
    all_ok = True
    for name, results in (("sentrova-cli search", ours),
                          ("same, %.0f %% lost each way" % (LOSS_EACH_WAY * 100), lossy)):
        text, share, median = line(name, results, args.runs)
        ok = share >= SHARE_BUDGET and median <= COMPLETE_BUDGET_MS
        all_ok &= ok
        print(text + "; budget %.0f %%, %.0f ms: %s" % (SHARE_BUDGET * 100, COMPLETE_BUDGET_MS, verdict(ok)))
    print(line("onvif-util -a", util, args.util_runs)[0])
    print(line("npm onvif Discovery.probe", npm, args.npm_runs)[0])
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Search benchmark: sentrova-cli against sentrova-camd on loopback.

Prints, for 10 and 1000 simulated cameras, the median time to a complete
list (the arrival of the last new camera, as the cli logs it with --verbose,
and the whole cli process from start to exit, which also listens for late
ONVIF answers) and the search's peak memory, and for 100 cameras
losing 5 % of their datagrams (in and out) the share of 100 searches that
found them all. Builds nothing: give it a build folder that holds both.

    python3 bench/search_bench.py BUILD_DIR [--runs 21] [--lossy-runs 100]
"""
import argparse
import json
import os
import random
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import time

BUDGETS = {10: 200.0, 1000: 400.0}
PEAK_BUDGET_MIB = 64.0
LOSSY_BUDGET = 0.99


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("0.0.0.0", 0))
        return s.getsockname()[1]


class Simulator:
    def __init__(self, camd, count, drop):
        self.port = free_udp_port()
        self.dir = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.dir.name, "camd.log")
        first = "127.%d.%d.10" % (random.randint(100, 200), random.randint(1, 200))
        self.process = subprocess.Popen(
            [camd, "--count", str(count), "--first-address", first, "--discovery-port", str(self.port),
             "--drop-share", str(drop), "--log", self.log],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                sys.exit("search_bench: sentrova-camd did not start")
            if os.path.exists(self.log) and "sim ready" in open(self.log).read():
                return
            time.sleep(0.05)
        sys.exit("search_bench: sentrova-camd did not get ready")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
        self.dir.cleanup()


def search(cli, port):
    """One search: (search ms, whole process ms, cameras found, peak RSS in KiB)."""
    start = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-v", cli, "search", "--interface", "lo", "--json", "--verbose",
                           "--port", str(port)], capture_output=True, text=True)
    elapsed = (time.monotonic() - start) * 1000.0
    if done.returncode != 0:
        sys.exit("search_bench: sentrova-cli failed: " + done.stderr[-500:])
    found = len(json.loads(done.stdout))
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", done.stderr).group(1))
    # The list is complete when its last new camera arrives; the search
    # itself listens on for late ONVIF answers.
    logged = re.search(r"found \d+ cameras in \d+ ms; the last new one at (\d+) ms", done.stderr)
    if not logged:
        sys.exit("search_bench: sentrova-cli --verbose did not log its search: " + done.stderr[-500:])
    return float(logged.group(1)), elapsed, found, peak


def verdict(ok):
    return "within budget" if ok else "OVER BUDGET"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--lossy-runs", type=int, default=100)
    args = parser.parse_args()
    camd = os.path.join(args.build_dir, "src/camd/sentrova-camd")
    cli = os.path.join(args.build_dir, "src/cli/sentrova-cli")
    for tool in (camd, cli):
        if not os.access(tool, os.X_OK):
            sys.exit("search_bench: %s is missing; build sentrova-camd and sentrova-cli first" % tool)
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("search_bench: /usr/bin/time is missing (package 'time')")

    all_ok = True
    for count in (10, 1000):
        sim = Simulator(camd, count, 0.0)
        try:
            results = [search(cli, sim.port) for _ in range(args.runs)]
        finally:
            sim.stop()
        complete = [r for r in results if r[2] == count]
        peak_mib = max(r[3] for r in results) / 1024.0
        median = statistics.median(r[0] for r in complete) if complete else float("inf")
        process = statistics.median(r[1] for r in complete) if complete else float("inf")
        ok = median <= BUDGETS[count] and (count < 1000 or peak_mib <= PEAK_BUDGET_MIB)
        all_ok &= ok
        print("%4d cameras: median %.0f ms to a complete list (whole cli process %.0f ms; %d of %d searches "
              "complete), peak RSS %.1f MiB; budget %.0f ms%s: %s"
              % (count, median, process, len(complete), len(results), peak_mib, BUDGETS[count],
                 ", %.0f MiB" % PEAK_BUDGET_MIB if count == 1000 else "", verdict(ok)))

    sim = Simulator(camd, 100, 0.05)
    try:
        found_all = sum(1 for _ in range(args.lossy_runs) if search(cli, sim.port)[2] == 100)
    finally:
        sim.stop()
    share = found_all / args.lossy_runs
    ok = share >= LOSSY_BUDGET
    all_ok &= ok
    print(" 100 cameras, 5 %% of datagrams lost: all found in %d of %d searches (%.0f %%); budget %.0f %%: %s"
          % (found_all, args.lossy_runs, share * 100, LOSSY_BUDGET * 100, verdict(ok)))
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main())

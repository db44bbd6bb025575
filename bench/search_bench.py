#!/usr/bin/env python3
"""Search benchmark: sentrova-cli against sentrova-camd on loopback.

Prints, for 10, 1000 and 4096 simulated cameras, the median time to a
complete list (the arrival of the last new camera, as the cli logs it with
--verbose, and the whole cli process from start to exit, which also listens
for late ONVIF answers) and the search's peak memory; for 5000 cameras,
searches run back to back: the rows each lists (the cap, 4096), its exit
status and the count it says was left out; and for 100 cameras losing 5 % of
their datagrams (in and out) the share of 100 searches that found them all.
Builds nothing: give it a build folder that holds both.

    python3 bench/search_bench.py BUILD_DIR [--runs 21] [--lossy-runs 100] [--capped-runs 10]
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

BUDGETS = {10: 200.0, 1000: 400.0, 4096: 2000.0}
PROCESS_BUDGET_MS = 650.0  # the whole cli process, 10 cameras
PEAK_BUDGET_MIB = 64.0
LOSSY_BUDGET = 0.99
ROW_CAP = 4096
EXIT_LEFT_OUT = 4


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


def search(cli, port, statuses=(0,)):
    """One search: (search ms, whole process ms, cameras found, peak RSS in KiB, exit status, count left out)."""
    start = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-v", cli, "search", "--interface", "lo", "--json", "--verbose",
                           "--port", str(port)], capture_output=True, text=True)
    elapsed = (time.monotonic() - start) * 1000.0
    if done.returncode not in statuses:
        sys.exit("search_bench: sentrova-cli failed: " + done.stderr[-500:])
    found = len(json.loads(done.stdout))
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", done.stderr).group(1))
    # The list is complete when its last new camera arrives; the search
    # itself listens on for late ONVIF answers.
    logged = re.search(r"found \d+ cameras in \d+ ms; the last new one at (\d+) ms", done.stderr)
    if not logged:
        sys.exit("search_bench: sentrova-cli --verbose did not log its search: " + done.stderr[-500:])
    left_out = re.search(r"at least (\d+) more cameras answered", done.stderr)
    return float(logged.group(1)), elapsed, found, peak, done.returncode, int(left_out.group(1)) if left_out else 0


def verdict(ok):
    return "within budget" if ok else "OVER BUDGET"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--lossy-runs", type=int, default=100)
    parser.add_argument("--capped-runs", type=int, default=10)
    args = parser.parse_args()
    camd = os.path.join(args.build_dir, "src/camd/sentrova-camd")
    cli = os.path.join(args.build_dir, "src/cli/sentrova-cli")
    for tool in (camd, cli):
        if not os.access(tool, os.X_OK):
            sys.exit("search_bench: %s is missing; build sentrova-camd and sentrova-cli first" % tool)
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("search_bench: /usr/bin/time is missing (package 'time')")

    all_ok = True
    for count in (10, 1000, 4096):
        sim = Simulator(camd, count, 0.0)
        try:
            results = [search(cli, sim.port) for _ in range(args.runs)]
        finally:
            sim.stop()
        complete = [r for r in results if r[2] == count]
        peak_mib = max(r[3] for r in results) / 1024.0
        median = statistics.median(r[0] for r in complete) if complete else float("inf")
        process = statistics.median(r[1] for r in complete) if complete else float("inf")
        ok = (len(complete) == len(results) and median <= BUDGETS[count]
              and (count < 1000 or peak_mib <= PEAK_BUDGET_MIB) and (count > 10 or process <= PROCESS_BUDGET_MS))
        all_ok &= ok
        budget = "%.0f ms to the list" % BUDGETS[count]
        budget += ", whole process %.0f ms" % PROCESS_BUDGET_MS if count == 10 else ", %.0f MiB" % PEAK_BUDGET_MIB
        print("%4d cameras: median %.0f ms to a complete list (whole cli process %.0f ms; %d of %d searches "
              "complete), peak RSS %.1f MiB; budget all listed, %s: %s"
              % (count, median, process, len(complete), len(results), peak_mib, budget, verdict(ok)))

    # More cameras than the list holds, searched back to back: every search
    # lists the cap's worth, exits 4 and says how many were left out.
    sim = Simulator(camd, 5000, 0.0)
    try:
        capped = [search(cli, sim.port, statuses=(0, EXIT_LEFT_OUT)) for _ in range(args.capped_runs)]
    finally:
        sim.stop()
    full = [r for r in capped if r[2] == ROW_CAP and r[4] == EXIT_LEFT_OUT and r[5] > 0]
    ok = len(full) == len(capped)
    all_ok &= ok
    print("5000 cameras back to back: %d of %d searches listed %d and exited %d (rows %s; left out %s; "
          "whole process median %.0f ms); budget all: %s"
          % (len(full), len(capped), ROW_CAP, EXIT_LEFT_OUT, sorted({r[2] for r in capped}),
             sorted({r[5] for r in capped}), statistics.median(r[1] for r in capped), verdict(ok)))

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

#!/usr/bin/env python3
"""Desktop benchmark: sentrova on an X server of its own (Xvfb with openbox)
against sentrova-camd fleets of 10, 1000 and 4096 cameras on loopback.

For each start it reads what the wizard logs on sentrova.desktop.frames (the
paints of the camera list, the stalls of the user-interface thread) and
prints the medians of: launch to the list on screen, launch to the first row
painted, the slowest row (its answer read to its row painted), the longest
stall of the user-interface thread during the search, and the rows shown
when the search is over; then the same for a Search (F5) in the running
window. Builds nothing: give it a build folder that holds sentrova and
sentrova-camd.

    python3 bench/desktop_list.py BUILD_DIR [--runs 5] [--counts 10,1000,4096]
"""
import argparse
import os
import random
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

BUDGET_WINDOW_MS = 300
BUDGET_FIRST_ROW_MS = 350
BUDGET_ROW_MS = 50
BUDGET_STALL_MS = 50
FRAMES = "sentrova.desktop.frames.debug=true"


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("0.0.0.0", 0))
        return s.getsockname()[1]


class XSession:
    """Xvfb on a free display number, with openbox as the window manager."""

    def __init__(self, scratch):
        self.processes = []
        for n in range(90, 141):
            if not os.path.exists("/tmp/.X%d-lock" % n) and not os.path.exists("/tmp/.X11-unix/X%d" % n):
                self.display = ":%d" % n
                break
        else:
            sys.exit("desktop_list: no free display")
        log = open(os.path.join(scratch, "xvfb.log"), "w")
        self.processes.append(subprocess.Popen(["Xvfb", self.display, "-screen", "0", "1280x900x24", "-nolisten",
                                                "tcp"], stdout=log, stderr=log))
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("QT_QPA_PLATFORM", None)
        for _ in range(50):
            if subprocess.run(["xdotool", "getmouselocation"], env=self.env, capture_output=True).returncode == 0:
                break
            time.sleep(0.1)
        else:
            self.stop()
            sys.exit("desktop_list: Xvfb did not start")
        self.processes.append(subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
        time.sleep(1)

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            process.wait(timeout=10)


class Fleet:
    def __init__(self, camd, count, scratch):
        self.port = free_udp_port()
        self.log = os.path.join(scratch, "camd-%d.log" % count)
        first = "127.%d.%d.10" % (random.randint(100, 200), random.randint(1, 200))
        self.process = subprocess.Popen([camd, "--interface", "lo", "--count", str(count), "--first-address", first,
                                         "--discovery-port", str(self.port), "--log", self.log],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                sys.exit("desktop_list: sentrova-camd did not start")
            if os.path.exists(self.log) and "sim ready" in open(self.log).read():
                return
            time.sleep(0.1)
        sys.exit("desktop_list: sentrova-camd did not get ready")

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=60)


LISTED = re.compile(r"search listed (\d+) rows at (\d+); heard (\d+); longest stall (\d+) ms; slowest row (\d+) ms")


def read_search(stream, deadline, start=None):
    """Reads the log up to the end of one search: (figures, window ms, first row ms)."""
    window = first_row = None
    for line in stream:
        if time.monotonic() > deadline:
            break
        match = re.search(r"list on screen at (\d+)", line)
        if match and start is not None:
            window = int(match.group(1)) - start
        match = re.search(r"rows shown (\d+) at (\d+)", line)
        if match and start is not None and first_row is None and int(match.group(1)) > 0:
            first_row = int(match.group(2)) - start
        match = LISTED.search(line)
        if match:
            rows, _, heard, stall, slowest = (int(g) for g in match.groups())
            return {"rows": rows, "heard": heard, "stall": stall, "slowest": slowest}, window, first_row
    return None, window, first_row


def one_start(wizard, port, env):
    """One launch and one F5 search: (launch figures, F5 figures)."""
    env = dict(env, QT_LOGGING_RULES=FRAMES)
    start = int(time.monotonic() * 1000)
    process = subprocess.Popen([wizard, "--interface", "lo", "--discovery-port", str(port)], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        launch, window, first_row = read_search(process.stderr, time.monotonic() + 30, start)
        if launch is None:
            sys.exit("desktop_list: sentrova logged no finished search")
        launch["window"] = window
        launch["first_row"] = first_row
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Setup Wizard", "windowactivate",
                        "--sync", "key", "F5"], env=env, capture_output=True, timeout=20)
        again, _, _ = read_search(process.stderr, time.monotonic() + 30)
        return launch, again
    finally:
        process.terminate()
        process.wait(timeout=10)


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else float("nan")


def verdict(ok):
    return "within budget" if ok else "OVER BUDGET"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--counts", default="10,1000,4096")
    args = parser.parse_args()
    camd = os.path.join(args.build_dir, "src/camd/sentrova-camd")
    wizard = os.path.join(args.build_dir, "src/desktop/sentrova")
    for tool in (camd, wizard):
        if not os.access(tool, os.X_OK):
            sys.exit("desktop_list: %s is missing; build sentrova and sentrova-camd first" % tool)
    for program in ("Xvfb", "openbox", "xdotool"):
        if shutil.which(program) is None:
            sys.exit("desktop_list: %s is missing (scripts/install-deps.sh installs it)" % program)

    all_ok = True
    with tempfile.TemporaryDirectory() as scratch:
        # The window's remembered size and columns stay out of the user's settings.
        os.environ["XDG_CONFIG_HOME"] = scratch
        session = XSession(scratch)
        try:
            for count in (int(c) for c in args.counts.split(",")):
                fleet = Fleet(camd, count, scratch)
                try:
                    results = [one_start(wizard, fleet.port, session.env) for _ in range(args.runs)]
                finally:
                    fleet.stop()
                for label, figures in (("start", [r[0] for r in results]), ("F5", [r[1] for r in results if r[1]])):
                    if not figures:
                        print("%4d cameras, %s: no search finished" % (count, label))
                        all_ok = False
                        continue
                    rows = sorted(f["rows"] for f in figures)
                    stall = median(f["stall"] for f in figures)
                    slowest = median(f["slowest"] for f in figures)
                    ok = rows[0] == count and stall <= BUDGET_STALL_MS and slowest <= BUDGET_ROW_MS
                    line = ("%4d cameras, %-5s rows shown at the end %s of %d (heard %s); slowest row %.0f ms; "
                            "longest stall %.0f ms" % (count, label + ":", "/".join(str(r) for r in rows), count,
                                                       "/".join(str(f["heard"]) for f in figures), slowest, stall))
                    if label == "start":
                        window = median(f["window"] for f in figures)
                        first_row = median(f["first_row"] for f in figures)
                        ok = ok and window <= BUDGET_WINDOW_MS and first_row <= BUDGET_FIRST_ROW_MS
                        line += "; launch to window %.0f ms, to first row %.0f ms" % (window, first_row)
                    all_ok &= ok
                    print(line + " (medians of %d): %s" % (len(figures), verdict(ok)), flush=True)
        finally:
            session.stop()
    print("budgets: window <= %d ms, first row <= %d ms, row <= %d ms after its answer, stall <= %d ms, every row shown"
          % (BUDGET_WINDOW_MS, BUDGET_FIRST_ROW_MS, BUDGET_ROW_MS, BUDGET_STALL_MS))
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main())

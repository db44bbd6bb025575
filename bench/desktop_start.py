#!/usr/bin/env python3
"""Time from starting sentrova to its filled device list, against 10 simulated
cameras on loopback. Prints the median and the spread of several starts.

    python3 bench/desktop_start.py BUILD_DIR [--runs N] [--cameras N]

The wizard runs on the offscreen platform; the list is filled right after the
search reports its cameras on the log, which is the moment measured here.
"""
import argparse
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time

PORT = 23571  # away from the default discovery port, so a running demo does not answer


def wait_for(stream, pattern, deadline):
    while time.monotonic() < deadline:
        line = stream.readline()
        if not line:
            return None
        match = re.search(pattern, line)
        if match:
            return match
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--cameras", type=int, default=10)
    args = parser.parse_args()
    camd_path = os.path.join(args.build, "src/camd/sentrova-camd")
    wizard_path = os.path.join(args.build, "src/desktop/sentrova")

    with tempfile.TemporaryDirectory() as scratch:
        log = os.path.join(scratch, "camd.log")
        camd = subprocess.Popen([camd_path, "--interface", "lo", "--count", str(args.cameras),
                                 "--first-address", "127.57.0.10", "--discovery-port", str(PORT), "--log", log])
        try:
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline and not (os.path.exists(log) and "sim ready" in open(log).read()):
                time.sleep(0.05)
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
            times = []
            for _ in range(args.runs):
                start = time.monotonic()
                wizard = subprocess.Popen([wizard_path, "--interface", "lo", "--discovery-port", str(PORT)],
                                          env=env, stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
                found = wait_for(wizard.stderr, r"found (\d+) cameras", start + 20)
                elapsed = time.monotonic() - start
                wizard.send_signal(signal.SIGTERM)
                wizard.wait()
                if found is None or int(found.group(1)) != args.cameras:
                    sys.exit("sentrova did not list %d cameras" % args.cameras)
                times.append(elapsed * 1000)
        finally:
            camd.send_signal(signal.SIGINT)
            camd.wait()
    print("sentrova start to a filled list, %d cameras, %d starts: median %.0f ms, min %.0f ms, max %.0f ms"
          % (args.cameras, args.runs, statistics.median(times), min(times), max(times)))


if __name__ == "__main__":
    main()

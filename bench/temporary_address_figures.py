#!/usr/bin/env python3
"""Temporary address figures: a camera outside the computer's network moved
in through a temporary address of its subnet, against the real ONVIF device
(tests/third_party) in network namespaces of its own, through the driver
BUILD_DIR/bench/temporary_address_run.

- The device at 10.9.0.10/24 behind gateway 10.9.0.1, the computer at
  192.0.2.1/24 on the same link: listed as its announcement lists it, the
  wizard with the user's consent adds 10.9.0.254/24, logs in and moves the
  device to 192.0.2.50 with gateway 192.0.2.1. Counted: the device there and
  found there by a search; the temporary address gone from the interface and
  from the record afterwards.
- kill -9: a process that added an address (as the program does, recorded
  first) is killed; a start then removes it.

Needs root; builds nothing (cmake --build BUILD_DIR --target
temporary_address_run onvif_test_device):

    python3 bench/temporary_address_figures.py BUILD_DIR [--runs 10]
"""
import argparse
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from search_bench import verdict  # noqa: E402

ADDRESS = "10.9.0.254/24"


def results(text):
    result = {}
    for line in text.splitlines():
        name, _, value = line.partition("=")
        result[name] = value
    return result


def move(driver):
    done = subprocess.run([driver, "move"], capture_output=True, text=True, timeout=300)
    result = results(done.stdout)
    if done.returncode != 0 and "error" not in result:
        result["error"] = "exit %d: %s" % (done.returncode, done.stderr.strip()[-300:])
    return result


def ip(*arguments):
    subprocess.run(["ip", *arguments], check=True, capture_output=True, timeout=30)


def killed_then_started(driver, run):
    """One kill -9: True when the next start removed the address."""
    netns = "tab%d-%d" % (os.getpid(), run)
    ip("netns", "add", netns)
    try:
        ip("-n", netns, "link", "add", "d0", "type", "veth", "peer", "name", "d1")
        ip("-n", netns, "address", "add", "192.0.2.1/24", "dev", "d0")
        ip("-n", netns, "link", "set", "d0", "up")
        with tempfile.TemporaryDirectory() as folder:
            record = os.path.join(folder, "temporary-addresses.json")
            holder = subprocess.Popen([driver, "hold", record, netns, "d0", ADDRESS], stdout=subprocess.PIPE,
                                      text=True)
            added = holder.stdout.readline().strip() == "added=1"
            holder.kill()  # SIGKILL
            holder.wait(timeout=10)
            shown = subprocess.run(["ip", "-n", netns, "-4", "address", "show", "d0"], capture_output=True,
                                   text=True, timeout=30).stdout
            left = ADDRESS in shown
            start = results(subprocess.run([driver, "start", record, netns], capture_output=True, text=True,
                                           timeout=60).stdout)
            shown = subprocess.run(["ip", "-n", netns, "-4", "address", "show", "d0"], capture_output=True,
                                   text=True, timeout=30).stdout
            return added and left and start.get("removed") == "1" and ADDRESS not in shown
    finally:
        subprocess.run(["ip", "netns", "delete", netns], capture_output=True, timeout=30)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("temporary_address_figures: needs root for the network namespaces")
    driver = os.path.join(args.build_dir, "bench/temporary_address_run")
    if not os.access(driver, os.X_OK):
        sys.exit("temporary_address_figures: build %s first" % driver)

    # One at a time: every run's computer takes the same temporary address
    # in a namespace of its own, but the record is this user's one file.
    runs = [move(driver) for _ in range(args.runs)]
    failed = [run["error"] for run in runs if "error" in run]
    if failed:
        sys.exit("temporary_address_figures: %d run(s) could not be made: %s" % (len(failed), failed[0]))
    moved = sum(run.get("moved") == "1" and run.get("found") == "1" for run in runs)
    gone = sum(run.get("gone") == "1" for run in runs)
    killed = sum(killed_then_started(driver, run) for run in range(args.runs))
    n = args.runs
    ok = moved == n and gone == n and killed == n
    print("moved by a temporary address and found there: %d of %d; temporary address gone afterwards: %d of %d; "
          "after kill -9, gone at the next start: %d of %d; budget %d of %d each: %s"
          % (moved, n, gone, n, killed, n, n, n, verdict(ok)))
    for run in runs:
        if run.get("moved") != "1" or run.get("found") != "1" or run.get("gone") != "1":
            print("    e.g. %s" % run)
            break
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

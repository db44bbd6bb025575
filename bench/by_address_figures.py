#!/usr/bin/env python3
"""A camera behind a router namespace, listed by address: N runs of

    sentrova-cli search --interface pc0 --address 198.51.100.10 --verbose

from the computer's namespace, for a simulated camera of each protocol at
198.51.100.10 (tests/e2e/router_netns.sh draws the namespaces):

    [pc] 192.0.2.1/24 --- [router] 192.0.2.254 | 198.51.100.1, ip_forward=1 --- [cam] 198.51.100.10/24

Then the real ONVIF device (tests/third_party, built by the target
onvif_test_device into BUILD_DIR/onvif-device) the same way: its
start-device.sh client side (198.51.100.1/24) is the router, forwarding to
a computer namespace of this script's own (192.0.2.1/24).

For each run: the search of the address, from its start until its row (as
the cli logs it: "Search of A : found ... in N ms"), and the whole process,
which first searches the computer's own network as usual and prints at its
end. A run counts as listed within 1 s when the row was made within 1 s of
the search of the address starting. Needs root and iproute2; builds nothing:

    python3 bench/by_address_figures.py BUILD_DIR [--runs 10]
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

ADDRESS = "198.51.100.10"
BUDGET_MS = 1000.0
HERE = os.path.dirname(os.path.abspath(__file__))
ROUTER = os.path.join(HERE, "..", "tests", "e2e", "router_netns.sh")


def shell(command, ns_id):
    return subprocess.run(["bash", "-c", f". {ROUTER}; {command}"], env={**os.environ, "id": ns_id}, check=True)


def measure(label, pc, cli, runs):
    found, process, within = [], [], 0
    for _ in range(runs):
        start = time.monotonic()
        run = subprocess.run(["nsenter", f"--net=/run/netns/{pc}", cli, "search", "--interface", "pc0", "--address",
                              ADDRESS, "--verbose"], capture_output=True, text=True, timeout=30)
        process.append((time.monotonic() - start) * 1000)
        listed = ADDRESS in run.stdout and "added by address" in run.stdout
        match = re.search(rf"Search of {re.escape(ADDRESS)} : found \S+ in (\d+) ms", run.stderr)
        if listed and match:
            found.append(float(match.group(1)))
            within += float(match.group(1)) <= BUDGET_MS
    print(f"{label}: search of {ADDRESS} until its row: "
          + (f"median {statistics.median(found):.0f} ms, max {max(found):.0f} ms" if found else "never listed")
          + f"; whole process median {statistics.median(process):.0f} ms, max {max(process):.0f} ms")
    print(f"{label}: listed by address within 1 s: {within} of {runs}")


def real_device(build_dir, cli, runs):
    device_dir = os.path.join(build_dir, "onvif-device")
    if not os.path.exists(os.path.join(device_dir, "built")):
        print("real device: not built (target onvif_test_device); left out")
        return
    name, pc = f"baf{os.getpid()}", f"baf{os.getpid()}-comp"
    router = f"{name}-pc"
    subprocess.run(["bash", os.path.join(device_dir, "start-device.sh"), "--name", name, "--cam-ip",
                    f"{ADDRESS}/24", "--pc-ip", "198.51.100.1/24"], check=True, capture_output=True)
    try:
        for command in (["ip", "netns", "add", pc],
                        ["ip", "-n", router, "link", "add", "r0", "type", "veth", "peer", "name", "pc0", "netns", pc],
                        ["ip", "-n", router, "addr", "add", "192.0.2.254/24", "dev", "r0"],
                        ["ip", "-n", router, "link", "set", "r0", "up"],
                        ["nsenter", f"--net=/run/netns/{router}", "sysctl", "-qw", "net.ipv4.ip_forward=1"],
                        ["ip", "-n", pc, "link", "set", "lo", "up"],
                        ["ip", "-n", pc, "addr", "add", "192.0.2.1/24", "dev", "pc0"],
                        ["ip", "-n", pc, "link", "set", "pc0", "up"],
                        ["ip", "-n", pc, "route", "add", "198.51.100.0/24", "via", "192.0.2.254"]):
            subprocess.run(command, check=True)
        measure("real ONVIF device", pc, cli, runs)
    finally:
        subprocess.run(["ip", "netns", "del", pc])
        subprocess.run(["bash", os.path.join(device_dir, "stop-device.sh"), "--name", name, "--clean"],
                       capture_output=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    camd = os.path.join(args.build_dir, "src", "camd", "sentrova-camd")
    cli = os.path.join(args.build_dir, "src", "cli", "sentrova-cli")
    if os.geteuid() != 0:
        sys.exit("needs root to create network namespaces")
    ns_id = f"f{os.getpid()}"
    pc, cam = f"sv-bapc-{ns_id}", f"sv-bacam-{ns_id}"
    shell("router_up", ns_id)
    try:
        for protocols in ("sentrova", "onvif"):
            with tempfile.TemporaryDirectory() as work:
                log = os.path.join(work, "camd.log")
                sim = subprocess.Popen([
                    "nsenter", f"--net=/run/netns/{cam}", camd, "--count", "1", "--first-address", ADDRESS,
                    "--interface", "cam0", "--protocols", protocols, "--log", log])
                try:
                    for _ in range(50):
                        if os.path.exists(log) and "sim ready" in open(log).read():
                            break
                        time.sleep(0.1)
                    measure(f"simulated camera ({protocols})", pc, cli, args.runs)
                finally:
                    sim.terminate()
                    sim.wait()
    finally:
        shell("router_down", ns_id)
    real_device(args.build_dir, cli, args.runs)


if __name__ == "__main__":
    main()

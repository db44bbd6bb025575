#!/usr/bin/env python3
"""Re-addressing a foreign-subnet ONVIF camera over IPv6 link-local, against
the real device (onvif_simple_server, tests/third_party) in network
namespaces of its own, through BUILD_DIR/bench/real_onvif_wizard_run ipv6.

Each run: the device at 10.9.0.10/24 with its gateway 10.9.0.1, the computer
at 192.0.2.1/24 on the same link, both with IPv6 link-local. The program's
search lists the device (its IPv4 answer goes to the gateway; its IPv6
answer lists it), the wizard logs in and writes 192.0.2.50/24 and gateway
192.0.2.1 over IPv6, Restart; a search afterwards must find it at
192.0.2.50 and the device must hold the new address and gateway.
Budget: 10 of 10.

Needs root; builds nothing (cmake --build BUILD_DIR --target
real_onvif_wizard_run onvif_test_device):

    python3 bench/ipv6_readdress_figures.py BUILD_DIR [--runs 10]
"""
import argparse
import os
import statistics
import subprocess
import sys

NEW_ADDRESS = "192.0.2.50"
NEW_GATEWAY = "192.0.2.1"


def run_once(driver):
    done = subprocess.run([driver, "ipv6"], capture_output=True, text=True, timeout=300)
    result = {}
    for line in done.stdout.splitlines():
        name, _, value = line.partition("=")
        result[name] = value
    if done.returncode != 0 and "error" not in result:
        result["error"] = "exit %d: %s" % (done.returncode, done.stderr.strip()[-300:])
    return result


def moved(run):
    return (run.get("errors", "") == "" and run.get("device_address") == NEW_ADDRESS
            and run.get("device_gateway") == NEW_GATEWAY and run.get("found_after") == NEW_ADDRESS)


def seconds(runs, name):
    values = [float(run[name]) for run in runs if name in run]
    if not values:
        return "n/a"
    return "median %.2f s, max %.2f s" % (statistics.median(values), max(values))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    driver = os.path.join(args.build_dir, "bench", "real_onvif_wizard_run")
    if not os.access(driver, os.X_OK):
        sys.exit("ipv6_readdress_figures: build the real_onvif_wizard_run and onvif_test_device targets first")
    runs = [run_once(driver) for _ in range(args.runs)]
    good = [run for run in runs if moved(run)]
    print("moved by IPv6 link-local and found there: %d of %d" % (len(good), len(runs)))
    print("  listed by its IPv6 answer: %d of %d" % (sum(run.get("listed") == "1" for run in runs), len(runs)))
    print("  search that lists it: %s" % seconds(runs, "search_seconds"))
    print("  login over IPv6 (launch to first page): %s" % seconds(runs, "login_seconds"))
    print("  pages, writes and Restart: %s" % seconds(runs, "move_seconds"))
    print("  search at the new address: %s" % seconds(runs, "found_seconds"))
    print("  whole re-addressing: %s" % seconds(runs, "total_seconds"))
    for run in runs:
        if not moved(run):
            print("  failed run: %s" % {k: run.get(k) for k in
                                        ("error", "listed", "device_address", "device_gateway", "found_after",
                                         "errors")})
            break


if __name__ == "__main__":
    main()

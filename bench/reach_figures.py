#!/usr/bin/env python3
"""The reach budgets in one run: each script below sets up its network
namespaces (root), runs its measurement against the real ONVIF device and
the simulator, deletes what it made, and prints its figures; this one runs
them in turn and repeats the verdict lines at the end.

    python3 bench/reach_figures.py BUILD_DIR [--runs 10] [--only NAME]

- hello: a foreign-subnet camera with a gateway, listed within 1 s of its
  Hello (bench/hello_figures.py)
- ipv6: moved into the computer's subnet over IPv6 link-local and found
  there (bench/ipv6_readdress_figures.py)
- temporary: the same through a temporary address, which is gone afterwards
  and after a kill -9 at the next start (bench/temporary_address_figures.py)
- by-address: a camera behind a router namespace, listed by address within
  1 s (bench/by_address_figures.py)

Builds nothing: cmake --build BUILD_DIR --target sentrova-cli sentrova-camd
onvif_test_device real_onvif_wizard_run temporary_address_run.
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = [
    ("hello", "hello_figures.py"),
    ("ipv6", "ipv6_readdress_figures.py"),
    ("temporary", "temporary_address_figures.py"),
    ("by-address", "by_address_figures.py"),
]
# The lines of each script's output that carry a verdict.
VERDICT_WORDS = ("within 1 s", " of ", "budget")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--only", choices=[name for name, _ in SCRIPTS])
    args = parser.parse_args()
    summary = []
    failed = False
    for name, script in SCRIPTS:
        if args.only and name != args.only:
            continue
        print(f"== {name}: {script}", flush=True)
        run = subprocess.run([sys.executable, os.path.join(HERE, script), args.build_dir, "--runs", str(args.runs)],
                             stdout=subprocess.PIPE, text=True)
        sys.stdout.write(run.stdout)
        failed |= run.returncode != 0
        lines = [line for line in run.stdout.splitlines() if any(word in line for word in VERDICT_WORDS)]
        summary.append((name, run.returncode, lines[-3:]))
    print("\n== reach budgets")
    for name, status, lines in summary:
        print(f"{name}: exit {status}")
        for line in lines:
            print(f"    {line.strip()}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

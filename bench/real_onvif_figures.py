#!/usr/bin/env python3
"""Real-device ONVIF figures: the wizard with the network camera control
against onvif_simple_server (tests/third_party), each run in network
namespaces of its own (rd<pid>-cam / rd<pid>-pc), through the driver
BUILD_DIR/bench/real_onvif_wizard_run.

- Full wizard (login, new password, address and gateway together, Restart
  with the reboot), changes taking effect 1 s after the answer, under
  WS-UsernameToken and under HTTP Digest: how many runs end with no error,
  the device at its new address and gateway, and the new password opening
  it there (checked on the device: its state and a login of our own).
- A device that answers Set* with success and changes nothing: how many
  runs end with a message naming the settings that did not take (the
  password at least; the address and gateway, which were not written or
  did not take either, counted beside it), and how many were called done.
- Login at 2 s per answer: success or a visible message, and within how
  many seconds of OK. At 0.1 s per answer: requests the login costs
  (counted in the device's requests.log).

Needs root; builds nothing (cmake --build BUILD_DIR --target
real_onvif_wizard_run onvif_test_device):

    python3 bench/real_onvif_figures.py BUILD_DIR [--runs 10] [--login-runs 5] [--jobs 3]
"""
import argparse
import concurrent.futures
import os
import re
import statistics
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from search_bench import verdict  # noqa: E402

NEW_ADDRESS = "192.0.2.20"
NEW_GATEWAY = "192.0.2.254"
SLOW_LOGIN_BUDGET_S = 20.0
LOGIN_REQUESTS_BUDGET = 4


def drive(driver, *arguments):
    """One run: its name=value results (error= when it could not be made)."""
    done = subprocess.run([driver, *arguments], capture_output=True, text=True, timeout=300)
    result = {}
    for line in done.stdout.splitlines():
        name, _, value = line.partition("=")
        result[name] = value
    if done.returncode != 0 and "error" not in result:
        result["error"] = "exit %d: %s" % (done.returncode, done.stderr.strip()[-300:])
    return result


def many(jobs, count, driver, *arguments):
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        runs = list(pool.map(lambda _: drive(driver, *arguments), range(count)))
    failed = [run["error"] for run in runs if "error" in run]
    if failed:
        sys.exit("real_onvif_figures: %d run(s) could not be made: %s" % (len(failed), failed[0]))
    return runs


def took(run):
    return (run.get("errors", "") == "" and run.get("device_address") == NEW_ADDRESS
            and run.get("device_gateway") == NEW_GATEWAY and run.get("device_new_password") == "1"
            and run.get("new_login_at_new_address") == "1")


def names(run, *words):
    text = run.get("messages", "")
    return all(re.search(r"\b%s\b" % word, text, re.IGNORECASE) for word in words)


def first_message(runs):
    for run in runs:
        if run.get("messages"):
            return run["messages"].strip()
    return "(none)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--login-runs", type=int, default=5)
    parser.add_argument("--jobs", type=int, default=3)
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("real_onvif_figures: needs root for the network namespaces")
    driver = os.path.join(args.build_dir, "bench/real_onvif_wizard_run")
    if not os.access(driver, os.X_OK):
        sys.exit("real_onvif_figures: build %s first" % driver)

    ok = True
    for auth, label in (("wsse", "WS-UsernameToken"), ("digest", "HTTP Digest")):
        runs = many(args.jobs, args.runs, driver, "full", "--auth", auth, "--apply")
        good = sum(took(run) for run in runs)
        ok = ok and good == args.runs
        print("full wizard, %s, changes 1 s late: %d of %d end at the new address with the new password "
              "and no error; budget %d of %d: %s" % (label, good, args.runs, args.runs, args.runs,
                                                      verdict(good == args.runs)))
        if good < args.runs:
            print("    e.g. %s" % first_message([run for run in runs if not took(run)]))

    runs = many(args.jobs, args.runs, driver, "full", "--auth", "wsse")
    named = sum(names(run, "password") for run in runs)
    all_three = sum(names(run, "password", "address", "gateway") for run in runs)
    done = sum(run.get("errors", "") == "" for run in runs)
    ok = ok and named == args.runs and done == 0
    print("device that changes nothing: %d of %d end with a message naming the password "
          "(%d name password, address and gateway), %d called done; budget %d of %d, 0 done: %s"
          % (named, args.runs, all_three, done, args.runs, args.runs, verdict(named == args.runs and done == 0)))
    print("    e.g. %s" % first_message(runs))

    runs = many(args.jobs, args.login_runs, driver, "login", "--auth", "wsse", "--delay", "2")
    visible = [run for run in runs if run["login_opened"] == "1" or run.get("messages")]
    slowest = max(float(run["login_seconds"]) for run in runs)
    good = len(visible) == len(runs) and slowest <= SLOW_LOGIN_BUDGET_S
    ok = ok and good
    print("login at 2 s per answer: %d of %d logged in, %d of %d with a visible outcome; slowest %.1f s, "
          "median %.1f s; budget success or a message within %.0f s: %s"
          % (sum(run["login_opened"] == "1" for run in runs), len(runs), len(visible), len(runs), slowest,
             statistics.median(float(run["login_seconds"]) for run in runs), SLOW_LOGIN_BUDGET_S, verdict(good)))
    if len(visible) < len(runs):
        print("    OK did nothing and showed nothing in %d run(s)" % (len(runs) - len(visible)))

    runs = many(args.jobs, args.login_runs, driver, "login", "--auth", "wsse", "--delay", "0.1")
    requests = [int(float(run["login_requests"])) for run in runs]
    good = all(run["login_opened"] == "1" for run in runs) and max(requests) <= LOGIN_REQUESTS_BUDGET
    ok = ok and good
    print("login at 0.1 s per answer: %s requests (of %d runs, %d logged in), median %.1f s; "
          "budget at most %d: %s" % ("/".join(map(str, sorted(set(requests)))), len(runs),
                                     sum(run["login_opened"] == "1" for run in runs),
                                     statistics.median(float(run["login_seconds"]) for run in runs),
                                     LOGIN_REQUESTS_BUDGET, verdict(good)))
    print("    e.g. %s" % runs[0]["login_methods"])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())

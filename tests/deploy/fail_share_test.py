#!/usr/bin/env python3
"""The play's batch size and its share of failed hosts, on three local
hosts of the Linux group, two per batch, the first of which cannot get its
program: with zq_max_fail_percentage 20 the play stops after the first batch
(the third host is never scanned); with 60 it goes on. In both, the failed
host's folder is removed again.

usage: fail_share_test.py --work DIR

Needs root (the play becomes root through su) and ansible-playbook; exits 77
(skipped) otherwise.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys

SKIP = 77
PLAYBOOK = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__)))), "deploy", "ansible", "site.yml")


def play(work, percentage):
    inventory = os.path.join(work, "inventory.ini")
    host = "ansible_connection=local ansible_python_interpreter=%s ansible_become_method=su" % (
        sys.executable)
    # The program copied to the others: it holds the line of a program that
    # knows --require-backup (the start command is `true`).
    program = os.path.join(work, "program")
    with open(program, "wb") as f:
        f.write(b"stand-in\0No backup kept, not repaired:\0")
    with open(inventory, "w") as f:
        f.write("[zq_windows]\n\n[zq_linux]\n"
                "first %s zq_linux_program=%s\n" % (host, os.path.join(work, "missing")) +
                "second %s zq_linux_program=%s\n" % (host, program) +
                "third %s zq_linux_program=%s\n" % (host, program))
    variables = {"zq_serial": 2, "zq_max_fail_percentage": percentage,
                 "zq_linux_dir": os.path.join(work, "hosts", "{{ inventory_hostname }}"),
                 "zq_linux_command": ["true"], "zq_fetch_dir": os.path.join(work, "fetched"),
                 "zq_report_dir": work}
    env = dict(os.environ, ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
               ANSIBLE_LOCAL_TEMP=os.path.join(work, "tmp"))
    res = subprocess.run(["ansible-playbook", "-i", inventory, PLAYBOOK, "-e",
                          json.dumps(variables)], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, timeout=600)
    out = res.stdout.decode("utf-8", "replace")
    recap = dict(re.findall(r"^(\w+)\s+: (ok=.*)$", out, re.M))
    return out, recap


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    if os.geteuid() != 0 or not shutil.which("ansible-playbook"):
        print("SKIP: needs root and ansible-playbook")
        return SKIP
    work = os.path.abspath(args.work)
    problems = []
    for percentage, third_scanned in ((20, False), (60, True)):
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        out, recap = play(work, percentage)
        where = "zq_max_fail_percentage=%d" % percentage
        if "failed=1" not in recap.get("first", ""):
            problems.append("%s: the first host did not fail: %r" % (where, recap))
        if ("third" in recap) != third_scanned:
            problems.append("%s: third host %s" % (where, "not scanned" if third_scanned
                                                    else "scanned after the stop"))
        if third_scanned and "failed=0" not in recap.get("third", ""):
            problems.append("%s: third host failed: %r" % (where, recap))
        stopped = "more than %d%%: the play stops" % percentage in out
        if stopped == third_scanned:
            problems.append("%s: stop message %s" % (where, "missing" if not stopped
                                                      else "given"))
        left = os.listdir(os.path.join(work, "hosts")) if os.path.isdir(
            os.path.join(work, "hosts")) else []
        if left:
            problems.append("%s: folders left on the hosts: %r" % (where, left))
        if problems:
            print(out)
    for p in problems:
        print("FAIL: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

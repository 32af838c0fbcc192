#!/usr/bin/env python3
"""What the play says before it copies anything, against localhost over the
Linux host group: a program to copy that is missing is named missing, with
how to build or unpack it (never the advice to drop --check), in check mode
and in a repair; a program older than --check stops a check, one older
than --require-backup stops a repair that requires backups (the default),
and the same program goes on once zq_require_backup=false. The programs are
stand-in files holding (or not) the lines the switches log; the start
command is `true`, so a play that goes on scans nothing.

usage: preflight_test.py PLAYBOOK

Needs root (the play becomes root through su); exits 77 (skipped) otherwise.
"""
import json
import os
import subprocess
import sys
import tempfile

SKIP = 77
CHECK_LINE = b"Check only: nothing is repaired"
BACKUP_LINE = b"No backup kept, not repaired:"


def play(playbook, tmp, program, *extra, **variables):
    inventory = os.path.join(tmp, "inventory.ini")
    with open(inventory, "w") as f:
        f.write("[zq_windows]\n\n[zq_linux]\nlocalhost ansible_connection=local "
                "ansible_python_interpreter=%s ansible_become_method=su\n" % sys.executable)
    work = os.path.join(tmp, "host")
    os.makedirs(work, exist_ok=True)
    variables = dict({"zq_linux_program": program, "zq_linux_dir": work,
                      "zq_linux_command": ["true"], "zq_fetch_dir": os.path.join(tmp, "fetched"),
                      "zq_report_dir": tmp, "zq_serial": 1}, **variables)
    env = dict(os.environ, ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
               ANSIBLE_LOCAL_TEMP=os.path.join(tmp, "ansible-local"))
    res = subprocess.run(["ansible-playbook", "-i", inventory, playbook, "-e",
                          json.dumps(variables), *extra], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, timeout=300)
    return res.returncode, res.stdout.decode("utf-8", "replace")


def stopped_by_preflight(out):
    """Whether one of the role's "Stop where ..." tasks failed the host (a
    play that goes on runs `true`, logs nothing, and fails later, at its
    report)."""
    for section in out.split("\nTASK [")[1:]:
        title, _, body = section.partition("\n")
        if title.startswith("zqcindervane : Stop where") and (
                "fatal: [localhost]" in body or "failed: [localhost]" in body):
            return True
    return False


def main():
    playbook = os.path.abspath(sys.argv[1])
    if os.geteuid() != 0:
        print("SKIP: needs root")
        return SKIP
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        programs = {}
        for name, lines in (("old", b""), ("check-only", CHECK_LINE),
                            ("current", CHECK_LINE + b"\0" + BACKUP_LINE)):
            programs[name] = os.path.join(tmp, name)
            with open(programs[name], "wb") as f:
                f.write(b"\x7fELF stand-in\0" + lines + b"\0")
        missing = os.path.join(tmp, "build", "release", "zqcindervane")
        # (what, program, play's switches, variables, stops, must say, must not say)
        cases = (
            ("missing, check", missing, ["--check"], {}, True,
             ["is missing on the control node", "scripts/release", "scripts/run"],
             ["without --check", "does not know"]),
            ("missing, repair", missing, [], {}, True,
             ["is missing on the control node", "scripts/release"], ["without --check"]),
            ("older than --check", programs["old"], ["--check"], {}, True,
             ["older than --check"], ["without --check"]),
            ("older than --require-backup", programs["check-only"], [], {}, True,
             ["older than --require-backup"], []),
            ("backups not required", programs["check-only"], [],
             {"zq_require_backup": False}, False, [], ["older than"]),
            ("current program, check", programs["current"], ["--check"], {}, False, [],
             ["older than", "is missing on the control node"]),
        )
        for what, program, switches, variables, stops, says, never in cases:
            code, out = play(playbook, tmp, program, *switches, **variables)
            stopped = stopped_by_preflight(out)
            if stopped != stops:
                problems.append("%s: %s (exit %d)\n%s" % (
                    what, "stopped" if stopped else "went on", code, out))
                continue
            for text in says:
                if text not in out:
                    problems.append("%s: does not say %r\n%s" % (what, text, out))
            for text in never:
                if text in out:
                    problems.append("%s: says %r\n%s" % (what, text, out))
    for p in problems:
        print("FAIL: " + p)
    print("%d case(s) checked" % len(cases))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

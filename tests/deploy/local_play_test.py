#!/usr/bin/env python3
"""A real play of deploy/ansible/site.yml against localhost (connection
local) over the Linux host group, its start command pointed at an isolated
test volume like the native end-to-end test's: an ext4 image, loop-mounted
in a private mount namespace, scanned by the test-signature program
chrooted into it, so that the only local filesystem it finds is the image.

The play must copy the program and the stand-in library (with its key) into
the volume, run the scan, fetch the log, remove what it copied and report.
Checked: a check-mode play changes nothing; the fetched log is exactly what
the end-to-end model expects; every infected file is repaired and its copy
is in the quarantine; what the play copied is gone again; and the report's
figures are the expected ones.

usage: local_play_test.py --program P --druquara LIB --zqsample Z --work DIR

Needs root, unshare, loop devices and ansible-playbook; exits 77 (skipped)
otherwise.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True
HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import zq_checks as checks  # noqa: E402
import zq_isolated as isolated  # noqa: E402
from zq_population import populate_data  # noqa: E402
from zq_samples import Samples  # noqa: E402
from zq_tree import Entry, Expect, Tree  # noqa: E402

PLAYBOOK = os.path.join(SOURCE, "deploy", "ansible", "site.yml")



def play(args, work, root, *extra):
    inventory = os.path.join(work, "inventory.ini")
    with open(inventory, "w") as f:
        # Root already: su to root asks for no password (no sudo needed).
        f.write("[zq_windows]\n\n[zq_linux]\nlocalhost ansible_connection=local "
                "ansible_python_interpreter=%s ansible_become_method=su\n" % sys.executable)
    variables = {
        "zq_linux_program": args.program,
        "zq_linux_stand_in": args.druquara,
        "zq_install_stand_in": True,
        "zq_linux_dir": root + "/.zq",
        "zq_linux_root": root,
        "zq_linux_suite_dir": "/.suite",
        "zq_linux_command": isolated.program_command(root),
        "zq_fetch_dir": os.path.join(work, "fetched"),
        "zq_report_dir": work,
        "zq_serial": 1,
    }
    env = dict(os.environ, ANSIBLE_NOCOLOR="1", ANSIBLE_RETRY_FILES_ENABLED="0",
               ANSIBLE_LOCAL_TEMP=os.path.join(work, "ansible-local"),
               ANSIBLE_REMOTE_TEMP=os.path.join(work, "ansible-remote"))
    res = subprocess.run(["ansible-playbook", "-i", inventory, PLAYBOOK, "-e",
                          json.dumps(variables), *extra], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, timeout=900)
    return res.returncode, res.stdout.decode("utf-8", "replace")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--druquara", required=True)
    ap.add_argument("--zqsample", required=True)
    ap.add_argument("--work", required=True)
    args = ap.parse_args()
    for name in ("program", "druquara", "zqsample", "work"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    isolated.enter_namespace(__file__, tools=("ansible-playbook",))
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    libs, loader = isolated.needed_libraries(args.program)
    samples = Samples([args.zqsample], os.path.join(args.work, "samples"))
    vol = isolated.Volume(args.work, "play", 300)
    try:
        ok = run(args, vol, libs, loader, samples)
    finally:
        vol.close()
    sys.exit(0 if ok else 1)


def run(args, vol, libs, loader, samples):
    root = vol.mnt
    tree = Tree("/", os.fsencode, checks.decode)
    drive = tree.add_drive("", root)
    # The program's libraries and loader, in the folder that the play copies
    # the program into (and removes afterwards), which the scan passes over.
    # The loader is the executable that the chroot starts, so the log is
    # written beside it.
    lib_dir = os.path.join(root, ".zq")
    os.makedirs(os.path.join(lib_dir, "lib"))
    for lib in libs:
        shutil.copy2(lib, os.path.join(lib_dir, "lib", os.path.basename(lib)))
    shutil.copy2(loader, os.path.join(lib_dir, "ld.so"))
    tree.folder(drive, (".suite",))
    quarantined = populate_data(tree, drive, "data", samples, big=False)
    # The stand-in's key that the play writes is scanned like any file, and
    # removed again afterwards.
    tree.folder(drive, ("etc", "Morlane"))
    key = tree._add(drive, Entry(("etc", "Morlane", "QRVCommon"), False, Expect.NONPE))
    for _, where in isolated.SYSTEM_MOUNTS:
        tree.folder(drive, tuple(where.split("/")), expect=Expect.SILENT)
    vol.mount_system()
    problems = []
    whole_before = tree.snapshot()
    # What the play removes with the program's folder.
    before = {k: v for k, v in whole_before.items() if k[1].split(os.sep)[0] != ".zq"}

    code, out = play(args, args.work, root, "--check")
    if code != 0:
        problems.append("check-mode play failed (%d):\n%s" % (code, out))
    if tree.snapshot() != whole_before:
        problems.append("the check-mode play changed the volume")
    for made in ("fetched", "report.html"):
        if os.path.exists(os.path.join(args.work, made)):
            problems.append("the check-mode play wrote %s" % made)

    code, out = play(args, args.work, root)
    checks.log(out)
    if code != 0:
        problems.append("play failed (%d)" % code)
    vol.unmount_inside()
    after = tree.snapshot()

    log_lines, log_problems = checks.read_log(
        os.path.join(args.work, "fetched", "localhost", isolated.LOG), checks.decode)
    problems += log_problems
    want_log, _ = tree.expected(log_lines, [], object_ready=True, pause_text=b"",
                                console_eol=b"\n", readdir_order=True)
    problems += checks.diff("fetched log", want_log, log_lines)

    # The key is gone again, like the program and the stand-in library.
    drive.by_parts.pop(key.parts)
    drive.by_parts[("etc", "Morlane")].children.remove(key)
    problems += checks.check_files(tree, before, after, quarantine_dirs=[(0, ".suite")],
                                   allowed_new=set(), infected_copies=quarantined)
    problems += checks.check_quarantine_records(
        tree, os.path.join(root, ".suite", "security", "zebscan", "Quarantine"), quarantined)
    for left in (".zq", ".suite/security/zebscan/druquara.so", "etc/Morlane/QRVCommon"):
        if os.path.lexists(os.path.join(root, left)):
            problems.append("the play left %s behind" % left)

    summary = next((f for f in map(checks.parse_summary, want_log) if f), None)
    report_json = os.path.join(args.work, "report.json")
    if summary is None or not os.path.exists(report_json):
        problems.append("no report.json from the play")
    else:
        with open(report_json, encoding="utf-8") as f:
            hosts = json.load(f)
        want = {"host": "localhost", "complete": True, "examined": int(summary["Examined"]),
                "safe": int(summary["Safe"]), "fixed": int(summary["Is Fix"]),
                "error": int(summary["Error"]), "not_scanned": int(summary["Not Scanned"])}
        got = {k: hosts[0].get(k) for k in want} if len(hosts) == 1 else hosts
        if got != want:
            problems.append("report: %r, expected %r" % (got, want))
    if not os.path.exists(os.path.join(args.work, "report.html")):
        problems.append("no report.html from the play")
    return checks.report("ansible play on localhost", problems)


if __name__ == "__main__":
    main()

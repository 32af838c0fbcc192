#!/usr/bin/env python3
"""A real play of deploy/ansible/site.yml against localhost (connection
local) over the Linux host group, its start command pointed at an isolated
test volume like the native end-to-end test's: an ext4 image, loop-mounted
in a private mount namespace, scanned by the test-signature program
chrooted into it, so that the only local filesystem it finds is the image.

First a check-mode play (--check): it must run the program with --check,
fetch its log compressed (ZQCindervane.log.gz, no plain log beside it) into
fetched/<host>/<time>/ and report from it, and change nothing:
the log says the run only checked and names every infected file (result
1), every file is byte-identical afterwards, nothing is in the quarantine,
no stand-in or key was installed, what the play copied is gone again, and
the report lists the infected files. Then the play itself: it must copy the
program and the stand-in library (with its key) into the volume, run the
scan (backups required, the default: the stand-in keeps them), fetch the
log compressed into a time folder of its own, remove what it copied and
report. Checked: the fetched log is exactly what the end-to-end model
expects; every infected file is repaired and its copy is in the quarantine;
what the play copied is gone again; and the report's figures are the
expected ones, after the check-only run in its history.

usage: local_play_test.py --program P --druquara LIB --zqsample Z --work DIR

Needs root, unshare, loop devices and ansible-playbook; exits 77 (skipped)
otherwise.
"""
import gzip
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
import zq_driver as driver  # noqa: E402
import zq_isolated as isolated  # noqa: E402
from zq_population import populate_data  # noqa: E402
from zq_samples import Samples  # noqa: E402
from zq_tree import Entry, Expect, Tree  # noqa: E402

PLAYBOOK = os.path.join(SOURCE, "deploy", "ansible", "site.yml")
CHECK_ONLY = "Check only: nothing is repaired"


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
    args = driver.driver_arguments(("program", "druquara", "zqsample", "work"))
    isolated.enter_namespace(__file__, tools=("ansible-playbook",))
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    # The libraries of the program and of the stand-in library it loads; the
    # program's own loader (none for a static program).
    libs, loader = isolated.needed_libraries(args.program, args.druquara)
    _, program_loader = isolated.needed_libraries(args.program)
    loader = (loader, program_loader)
    samples = Samples([args.zqsample], os.path.join(args.work, "samples"))
    vol = isolated.Volume(args.work, "play", 300)
    try:
        ok = run(args, vol, libs, loader, samples)
    finally:
        vol.close()
    driver.finish(ok)


def run(args, vol, libs, loader, samples):
    root = vol.mnt
    tree = Tree("/", os.fsencode, checks.decode)
    drive = tree.add_drive("", root)
    # The libraries and the loader, in the folder that the play copies the
    # program into (and removes afterwards), which the scan passes over: a
    # dynamic program is started by its loader (/.zq/ld.so, so the log is
    # written beside it), a static one on its own, the stand-in library it
    # loads finding them in /.zq/lib.
    libs_loader, program_loader = loader

    def install_loader():
        lib_dir = os.path.join(root, ".zq")
        os.makedirs(os.path.join(lib_dir, "lib"), exist_ok=True)
        for lib in libs + ([libs_loader] if libs_loader else []):
            shutil.copy2(lib, os.path.join(lib_dir, "lib", os.path.basename(lib)))
        if program_loader:
            shutil.copy2(program_loader, os.path.join(lib_dir, "ld.so"))

    install_loader()
    tree.folder(drive, (".suite",))
    quarantined = populate_data(tree, drive, "data", samples, big=False)
    infected = sorted(tree.shown(drive, e.parts) for _, e in quarantined)
    # The stand-in's key that the play writes is scanned like any file, and
    # removed again afterwards.
    tree.folder(drive, ("etc", "Morlane"))
    key = tree._add(drive, Entry(("etc", "Morlane", "QRVCommon"), False, Expect.NONPE))
    for _, where in isolated.SYSTEM_MOUNTS:
        tree.folder(drive, tuple(where.split("/")), expect=Expect.SILENT)
    vol.mount_system()
    problems = []
    # What the play removes with the program's folder.
    before = without_program(tree.snapshot())
    fetched = os.path.join(args.work, "fetched", "localhost")

    code, out = play(args, args.work, root, "--check")
    checks.log(out)
    if code != 0:
        problems.append("check-mode play failed (%d)" % code)
    # Every file as it was: nothing repaired, no backup, no stand-in, no key.
    if without_program(tree.snapshot()) != before:
        problems.append("the check-mode play changed the volume")
    runs = sorted(os.listdir(fetched)) if os.path.isdir(fetched) else []
    if len(runs) != 1:
        problems.append("the check-mode play fetched %r, expected one time folder" % runs)
    else:
        problems += check_only_log(fetched_log(os.path.join(fetched, runs[0]), problems),
                                   infected)
    host = read_report(args.work, problems)
    if host is not None:
        got = (host["status"], host["mode"], host["infected"], host["fixed"],
               sorted(f["path"] for f in host["infected_files"]))
        if got != ("infected", "check", len(infected), 0, infected):
            problems.append("check-mode report: %r, expected the %d infected files %r"
                            % (got, len(infected), infected))
        problems += [("check-mode report: run read from %s, not the compressed log"
                      % r["log"]) for r in host["history"] if not r["log"].endswith(".log.gz")]
    problems += left_behind(root)

    for made in ("report.json", "report.html"):
        if os.path.exists(os.path.join(args.work, made)):
            os.unlink(os.path.join(args.work, made))
    install_loader()
    code, out = play(args, args.work, root)
    checks.log(out)
    if code != 0:
        problems.append("play failed (%d)" % code)
    vol.unmount_inside()
    after = tree.snapshot()

    # The play's log in a time folder of its own, after the check's.
    runs = sorted(os.listdir(fetched)) if os.path.isdir(fetched) else []
    if len(runs) != 2:
        problems.append("fetched %r, expected two time folders" % runs)
    log_lines, log_problems = checks.read_log(
        fetched_log(os.path.join(fetched, runs[-1] if runs else "-"), problems), checks.decode)
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
    problems += left_behind(root)

    summary = next((f for f in map(checks.parse_summary, want_log) if f), None)
    host = read_report(args.work, problems)
    if summary is None:
        problems.append("no summary line expected of the play's run")
    elif host is not None:
        want = {"host": "localhost", "complete": True, "examined": int(summary["Examined"]),
                "safe": int(summary["Safe"]), "fixed": int(summary["Is Fix"]),
                "error": int(summary["Error"]), "not_scanned": int(summary["Not Scanned"]),
                "runs": 2, "modes": ["check", "repair"]}
        got = {k: host.get(k) for k in want}
        got["modes"] = [r["mode"] for r in host["history"]]
        if got != want:
            problems.append("report: %r, expected %r" % (got, want))
    return checks.report("ansible play on localhost", problems)


def fetched_log(folder, problems):
    """The plain text of the log fetched into `folder` (fetched/<host>/<time>),
    which must hold it compressed and only so: the path of a copy written
    beside fetched/."""
    packed = os.path.join(folder, isolated.LOG + ".gz")
    if os.path.exists(os.path.join(folder, isolated.LOG)):
        problems.append("%s: the plain log was fetched" % folder)
    if not os.path.exists(packed):
        problems.append("%s: no compressed log fetched: %r"
                        % (folder, sorted(os.listdir(folder)) if os.path.isdir(folder) else []))
        return packed
    plain = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(folder))),
                         "fetched-%s-%s" % (os.path.basename(folder), isolated.LOG))
    with gzip.open(packed, "rb") as f, open(plain, "wb") as out:
        shutil.copyfileobj(f, out)
    return plain


def without_program(snapshot):
    """A snapshot without the program's folder, which the play removes."""
    return {k: v for k, v in snapshot.items() if k[1].split(os.sep)[0] != ".zq"}


def left_behind(root):
    return ["the play left %s behind" % left
            for left in (".zq", ".suite/security/zebscan/druquara.so", "etc/Morlane/QRVCommon")
            if os.path.lexists(os.path.join(root, left))]


def check_only_log(path, infected):
    """The problems of a check-only run's log: it must say so right after
    the version line, name every infected file with result 1 and every
    other examined image with result 0, and end complete."""
    lines, problems = checks.read_log(path, checks.decode)
    if lines[1:2] and not lines[1].startswith("Version...ZQCindervane "):
        problems.append("check-mode log: no version line: %r" % lines[:3])
    if lines[2:3] != [CHECK_ONLY]:
        problems.append("check-mode log does not say %r: %r" % (CHECK_ONLY, lines[:3]))
    results = {}
    for line in lines:
        if line.startswith("[ScanFolder][334]Path:"):
            shown, _, result = line[len("[ScanFolder][334]Path:"):].rpartition(", Result:")
            results[shown] = result
    found = sorted(p for p, r in results.items() if r == "1")
    if found != infected:
        problems.append("check-mode log: result 1 for %r, expected %r" % (found, infected))
    others = sorted(set(r for p, r in results.items() if r != "1"))
    if others not in ([], ["0"]):
        problems.append("check-mode log: results %r besides 1" % others)
    if lines[-1:] != ["End..."]:
        problems.append("check-mode log: the run did not end: %r" % lines[-2:])
    return problems


def read_report(work, problems):
    """The one host of the play's report.json (and report.html must be
    there), or None."""
    report_json = os.path.join(work, "report.json")
    if not os.path.exists(report_json) or not os.path.exists(os.path.join(work, "report.html")):
        problems.append("no report.json or report.html from the play")
        return None
    with open(report_json, encoding="utf-8") as f:
        hosts = json.load(f)
    if len(hosts) != 1:
        problems.append("report: %r, expected one host" % hosts)
        return None
    return hosts[0]


if __name__ == "__main__":
    main()

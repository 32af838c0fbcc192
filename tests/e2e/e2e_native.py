#!/usr/bin/env python3
"""End-to-end run of the real Linux program on a test volume.

usage: e2e_native.py --program P --druquara LIB --zqsample Z --work DIR

Each case makes an ext4 image, fills it with the test tree, the program and
the libraries it needs (in the dot-folder /.zq, which the scan passes over),
mounts it in a private mount namespace with proc and sys inside, and runs the
program chrooted there, so that the only local filesystem its drive discovery
finds is the image. Then the console text, the log, the repaired files, the
quarantine and every other file are checked.

Needs root, unshare and loop devices; exits 77 (skipped) where the machine
does not allow them.
"""
import argparse
import os
import shutil
import signal
import stat
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq_checks as checks  # noqa: E402
import zq_isolated as isolated  # noqa: E402
from zq_population import populate_data, populate_deep  # noqa: E402
from zq_samples import Samples  # noqa: E402
from zq_tree import Expect, Result, Tree  # noqa: E402

PAUSE_PROMPT = b"Press any key to continue . . . \n"


class Case:
    def __init__(self, name, key, library, key_writable=False):
        self.name, self.key, self.library = name, key, library
        self.key_writable = key_writable  # others may write the key file

    def object_ready(self):
        return self.key and self.library and not self.key_writable


CASES = [
    Case("key set, library installed", key=True, library=True),
    Case("key absent", key=False, library=True),
    Case("key set, library missing", key=True, library=False),
    # The key decides which library a root scan loads: one that others may
    # change counts as absent.
    Case("key file writable by others", key=True, library=True, key_writable=True),
]


def run_case(case, args, libs, loader):
    vol = isolated.Volume(args.work, "native", 700)
    try:
        return check_case(case, args, libs, loader, vol)
    finally:
        vol.close()


def check_case(case, args, libs, loader, vol):
    t0 = time.time()
    root = vol.mnt
    tree = Tree("/", os.fsencode, checks.decode)
    drive = tree.add_drive("", root)
    samples = args.samples

    # The program, its libraries and its loader, in a folder the scan skips.
    zq = isolated.install_program(root, args.program, libs, loader)
    tree.folder(drive, (".zq",))

    # The suite: its install folder (a dot-folder) and the registry stand-in.
    suite = os.path.join(root, ".suite")
    os.makedirs(os.path.join(suite, "security", "zebscan"))
    tree.folder(drive, (".suite",))
    if case.library:
        shutil.copy2(args.druquara, os.path.join(suite, "security", "zebscan", "druquara.so"))
    if case.key:
        key = tree.file(drive, "etc/Morlane/QRVCommon", b"ProgramPath=/.suite\n")
        os.chmod(os.path.join(root, *key.parts), 0o666 if case.key_writable else 0o644)

    # An immutable file: even root cannot open it for writing (EPERM).
    quarantined = populate_data(
        tree, drive, "data", samples,
        read_only=(lambda path: isolated.run("chattr", "+i", path), "Call CreateFile failed: 0x1"))
    # No Windows directory here: folders of that name are ordinary ones.
    data, host = samples.infected(samples.pe(4100, seed=40), "--seed", 40)
    e = tree.file(drive, "Windows.old/infected.exe", data, Expect.IMAGE, Result.FIXED,
                  infected=True, after=host)
    quarantined.append((drive, e))

    populate_deep(tree, drive, samples, 4096, search_suffix_len=1)
    # Symbolic links are never followed, whatever they point at.
    tree.folder(drive, ("data", "links"))
    tree.link(drive, "data/links/to_parent", "..")
    tree.link(drive, "data/links/to_infected.exe", "../infected/whole_head.exe")

    # Pipes and devices are neither files nor folders to the scan: a pipe
    # opened for reading would wait for a writer for ever.
    tree.folder(drive, ("data", "special"))
    special = os.path.join(root, "data", "special")
    os.mkfifo(os.path.join(special, "pipe.exe"))
    os.mknod(os.path.join(special, "zero.exe"), 0o644 | stat.S_IFCHR, os.makedev(1, 5))

    # Filesystems mounted inside are other mounts: never entered. The log's
    # switch is a shared-memory object, so /dev/shm must exist.
    for _, where in isolated.SYSTEM_MOUNTS:
        tree.folder(drive, tuple(where.split("/")), expect=Expect.SILENT)
    vol.mount_system()

    checks.log("  tree ready %.1fs" % (time.time() - t0))
    before = tree.snapshot()
    checks.log("  snapshot %.1fs" % (time.time() - t0))
    res = subprocess.run(isolated.program_command(root), stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    checks.log("  program ran %.1fs" % (time.time() - t0))
    vol.unmount_inside()
    after = tree.snapshot()
    checks.log("  snapshot %.1fs" % (time.time() - t0))

    if not case.key or case.key_writable:
        init = ["[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2"]
    elif not case.library:
        init = ["[DRUDllGetClassObject][22]Call LoadLibrary failed: 2"]
    else:
        init = []
    problems, _ = checks.verdict(
        tree, res, os.path.join(zq, isolated.LOG), init_lines=init,
        object_ready=case.object_ready(), pause_text=PAUSE_PROMPT, console_eol=b"\n",
        readdir_order=True, snapshots=(before, after), quarantine_dirs=[(0, ".suite")],
        allowed_new={(0, ".zq/ZQCindervane.log")}, infected=quarantined,
        records_folder=os.path.join(suite, "security", "zebscan", "Quarantine"),
        keep=(args.work, case.name))
    return checks.report("native: " + case.name, problems)


INTERRUPTS = [("SIGINT", signal.SIGINT), ("SIGTERM", signal.SIGTERM), ("SIGHUP", signal.SIGHUP)]


def run_interrupt_case(name, signum, args, libs, loader):
    """The scan is interrupted while the quarantine library holds it inside
    an infected file: that file is repaired whole, the walk stops before the
    next file, every console result has its log line, the log ends with the
    interrupt's line and the summary, without "End...", and the process dies
    by the signal."""
    vol = isolated.Volume(args.work, "interrupt", 64)
    try:
        root = vol.mnt
        zq = isolated.install_program(root, args.program, libs, loader)
        library = os.path.join(root, ".suite", "security", "zebscan")
        os.makedirs(library)
        shutil.copy2(args.druquara_wait, os.path.join(library, "druquara.so"))
        os.makedirs(os.path.join(root, "etc", "Morlane"))
        with open(os.path.join(root, "etc", "Morlane", "QRVCommon"), "wb") as f:
            f.write(b"ProgramPath=/.suite\n")
        data_dir = os.path.join(root, "data")
        os.makedirs(data_dir)
        for i in range(20):
            with open(os.path.join(data_dir, "clean%02d.exe" % i), "wb") as f:
                f.write(args.samples.pe(3000 + i, seed=100 + i))
        infected, host = args.samples.infected(args.samples.pe(4100, seed=41), "--seed", 41)
        infected_path = os.path.join(data_dir, "infected.exe")
        with open(infected_path, "wb") as f:
            f.write(infected)
        vol.mount_system()

        proc = subprocess.Popen(isolated.program_command(root), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        problems = []
        waiting = os.path.join(library, "waiting")
        deadline = time.time() + 120
        while not os.path.exists(waiting) and proc.poll() is None and time.time() < deadline:
            time.sleep(0.01)
        if not os.path.exists(waiting):
            problems.append("the scan never reached the infected file")
        proc.send_signal(signum)
        time.sleep(0.2)  # the signal lands while the library still holds the scan
        open(os.path.join(library, "go"), "wb").close()
        try:
            out, err = proc.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            problems.append("the program did not end after the interrupt")
        vol.unmount_inside()

        if proc.returncode != -signum:
            problems.append("exit status %d, not death by %s" % (proc.returncode, name))
        if err:
            problems.append("standard error: %r" % err[:500])
        log_lines, log_problems = checks.read_log(os.path.join(zq, isolated.LOG), checks.decode)
        problems += log_problems
        console = checks.decode(out)
        if not console.startswith("Start Scanning..."):
            problems.append("console does not start with Start Scanning...: %r" % console[:80])
        shown = [l for l in console[len("Start Scanning..."):].split("\n") if l]
        logged = [l for l in log_lines if l.startswith("[ScanFolder][334]")]
        want = ["[ScanFolder][334]Path:%s, Result:%d" % (
            l[len("Path:"):l.index("\tResult:")],
            {r.word: r for r in Result}[l[l.index("\tResult:") + 8:]])
            for l in shown if l.startswith("Path:") and "\tResult:" in l]
        if len(want) != len(shown):
            problems.append("console lines that are no result lines: %r" % shown)
        problems += checks.diff("results (console against log)", want, logged)
        if not logged or logged[-1] != "[ScanFolder][334]Path:/data/infected.exe, Result:2":
            problems.append("the last result is not the repaired infected file")
        # The summary line's figures are checked by the full runs; here only
        # its place after the interrupt's line, at the end: an interrupted
        # run has no "End...".
        log_lines = ["Summary..." if l.startswith("Summary...") else l for l in log_lines]
        ending = ["[wmain][443]Scan interrupted (%s), ending before the next file" % name,
                  "Summary..."]
        problems += checks.diff("log ending", ending, log_lines[-2:])
        if "[ScanFolder][334]Path:/data/infected.exe, Result:2" in log_lines:
            after = log_lines[log_lines.index(
                "[ScanFolder][334]Path:/data/infected.exe, Result:2") + 1:]
            if after != ending:
                problems.append("lines after the interrupted file: %r" % after[:5])
        with open(infected_path, "rb") as f:
            if f.read() != host:
                problems.append("the infected file is not repaired whole")
        return checks.report("native: interrupted by " + name, problems)
    finally:
        vol.close()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--druquara", required=True)
    ap.add_argument("--zqsample", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--druquara-wait")
    args = ap.parse_args()
    for name in ("program", "druquara", "zqsample", "work", "druquara_wait"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    isolated.enter_namespace(__file__)
    os.makedirs(args.work, exist_ok=True)
    checks.clear_kept_logs(args.work)
    libs, loader = isolated.needed_libraries(args.program, args.druquara)
    args.samples = Samples([args.zqsample], os.path.join(args.work, "samples"))
    ok = True
    for case in CASES:
        ok &= run_case(case, args, libs, loader)
    if args.druquara_wait:
        for name, signum in INTERRUPTS:
            ok &= run_interrupt_case(name, signum, args, libs, loader)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()

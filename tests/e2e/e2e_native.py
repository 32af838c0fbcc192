#!/usr/bin/env python3
"""End-to-end run of the real Linux program on a test volume.

usage: e2e_native.py --program P --druquara LIB --zqsample Z --work DIR

Each case makes an ext4 image, fills it with the test tree, the program and
the libraries it needs (in the dot-folder /.zq, which the scan passes over),
mounts it in a private mount namespace with proc and sys inside, and runs the
program chrooted there, so that the only local filesystem its drive discovery
finds is the image. Then the console text, the log, the repaired files, the
quarantine and every other file are checked. The same tree is also scanned
with --check (every file as it was, nothing in the quarantine, the exit
status), once on the volume mounted read-only. Smaller runs check the
switches that end without a scan, a chroot without /proc or /sys (nothing
scanned, said on standard error), a run as an account that cannot read
everything (exit status 2), and the closing line and the pause on a
terminal.

Needs root, unshare and loop devices; exits 77 (skipped) where the machine
does not allow them.
"""
import os
import pty
import select
import shutil
import signal
import stat
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
import zq_isolated as isolated  # noqa: E402
from zq_population import populate_data, populate_deep  # noqa: E402
from zq_tree import CHECK_LINE, VERSION_LINE, Expect, Result, Tree, summary_line  # noqa: E402

# The pause's prompt, on a terminal; the runs here have neither standard
# input nor standard output on one, so there is no pause.
PAUSE_PROMPT = b"Press any key to continue . . . "
PAUSE_TEXT = b""


class Case:
    def __init__(self, name, key, library, key_writable=False, check=False, read_only=False):
        self.name, self.key, self.library = name, key, library
        self.key_writable = key_writable  # others may write the key file
        self.check = check  # --check: nothing repaired, backed up or written
        self.read_only = read_only  # the volume mounted read-only (the log elsewhere)

    def object_ready(self):
        return self.key and self.library and not self.key_writable and not self.check


CASES = [
    Case("key set, library installed", key=True, library=True),
    Case("key absent", key=False, library=True),
    Case("key set, library missing", key=True, library=False),
    # The key decides which library a root scan loads: one that others may
    # change counts as absent.
    Case("key file writable by others", key=True, library=True, key_writable=True),
    # Only checking: the library is there, and is never loaded.
    Case("check only", key=True, library=True, check=True),
    # Nothing is even opened for writing: not one failed write on a volume
    # that allows none.
    Case("check only, read-only volume", key=True, library=True, check=True, read_only=True),
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

    # The program, its libraries and its loader, in a folder the scan skips
    # (on a volume mounted read-only, a tmpfs of its own keeps the log).
    tree.folder(drive, (".zq",))
    if case.read_only:
        vol.mount_inside("-t", "tmpfs", "tmpfs", where=".zq")
    zq = isolated.install_program(root, args.program, libs, loader)

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
    if case.read_only:
        isolated.run("mount", "-o", "remount,ro", root)

    checks.log("  tree ready %.1fs" % (time.time() - t0))
    before = tree.snapshot()
    checks.log("  snapshot %.1fs" % (time.time() - t0))
    res = subprocess.run(isolated.program_command(root, args=["--check"] if case.check else []),
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=600)
    checks.log("  program ran %.1fs" % (time.time() - t0))
    log_path = os.path.join(zq, isolated.LOG)
    if case.read_only:  # the tmpfs goes with the other mounts inside
        kept = os.path.join(args.work, "read_only.log")
        if os.path.exists(log_path):
            shutil.copy2(log_path, kept)
        log_path = kept
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
        tree, res, log_path, init_lines=init,
        object_ready=case.object_ready(), pause_text=PAUSE_TEXT, console_eol=b"\n",
        readdir_order=True, snapshots=(before, after),
        quarantine_dirs=[] if case.check else [(0, ".suite")],
        allowed_new={(0, ".zq/ZQCindervane.log")}, infected=quarantined,
        records_folder=os.path.join(suite, "security", "zebscan", "Quarantine"),
        keep=(args.work, case.name), check_only=case.check)
    return checks.report("native: " + case.name, problems)


def small_volume(args, libs, loader, name):
    """A small test volume with the program installed; (volume, its /.zq)."""
    vol = isolated.Volume(args.work, name, 64)
    return vol, isolated.install_program(vol.mnt, args.program, libs, loader)


def run_switch_cases(args, libs, loader):
    """The switches that end at once: the usage or the version on its
    stream, the status, and neither a scan nor a log."""
    vol, zq = small_volume(args, libs, loader, "switches")
    try:
        vol.mount_system()
        ok = True
        for arguments, what in checks.switch_cases(slash=False):
            res = subprocess.run(isolated.program_command(vol.mnt, args=arguments),
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, timeout=60)
            problems = checks.switch_problems(what, res, os.path.join(zq, isolated.LOG), b"\n")
            ok &= checks.report("native: switches %s" % " ".join(arguments), problems)
        return ok
    finally:
        vol.close()


# A chroot without one of the system's file systems: nothing is scanned, and
# standard error says what could not be read. (place left out, the line on
# standard error, the log's lines before the summary)
NOTHING_SCANNED = [
    ("proc", b"ZQCindervane: nothing scanned: /proc/self/mountinfo could not be read (error 2)\n",
     ["[wmain][395]Call GetLogicalDriveStrings failed: 2",
      "[wmain][445]Nothing scanned:/proc/self/mountinfo could not be read (error 2)"]),
    ("sys", b"ZQCindervane: nothing scanned: /sys could not be read (error 2), so no disk could "
            b"be told fixed\n",
     ["[wmain][445]Nothing scanned:/sys could not be read (error 2), so no disk could be told "
      "fixed"]),
]


def run_nothing_scanned_cases(args, libs, loader):
    """A run that finds no root is not clean: its line on standard error,
    Roots:0 and Folders:0 in its summary, and with --check the status 2;
    without --check the status stays 0. Without /proc the program still
    finds its folder, so the log is kept."""
    ok = True
    for left_out, stderr_line, lines in NOTHING_SCANNED:
        vol, zq = small_volume(args, libs, loader, "no" + left_out)
        try:
            with open(os.path.join(vol.mnt, "clean.exe"), "wb") as f:
                f.write(args.samples.pe(3000, seed=90))
            vol.mount_system(leave_out=(left_out,))
            for check in (False, True):
                log_path = os.path.join(zq, isolated.LOG)
                if os.path.exists(log_path):
                    os.unlink(log_path)
                res = subprocess.run(
                    isolated.program_command(vol.mnt, args=["--check"] if check else []),
                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    timeout=120)
                problems, log_lines = checks.run_problems(res, log_path, checks.decode,
                                                          stderr_checked=False,
                                                          exit_code=2 if check else 0)
                want = ["Start...", VERSION_LINE] + ([CHECK_LINE] if check else []) + lines
                want += [summary_line(want, log_lines, check), "End..."]
                problems += checks.diff("log", want, log_lines)
                if res.stderr != stderr_line:
                    problems.append("standard error %r, expected %r" % (res.stderr, stderr_line))
                if res.stdout != b"Start Scanning...End Scanning...":
                    problems.append("console %r" % res.stdout)
                ok &= checks.report("native: without /%s%s" % (left_out, ", check only" * check),
                                    problems)
        finally:
            vol.close()
    return ok


NOBODY = "65534:65534"


def run_unprivileged_cases(args, libs, loader):
    """--check as an account that may not read everything: a file the
    image test cannot open counts as not examined, so the status is 2
    (over the 1 of the infected file); a root that cannot be listed at all
    is said on standard error, and is also status 2."""
    vol, zq = small_volume(args, libs, loader, "nobody")
    try:
        root, samples = vol.mnt, args.samples
        tree = Tree("/", os.fsencode, checks.decode)
        drive = tree.add_drive("", root)
        tree.folder(drive, (".zq",), made=True)
        os.chmod(zq, 0o777)  # the log beside the program
        tree.file(drive, "data/clean.exe", samples.pe(3000, seed=91), Expect.IMAGE, Result.SAFE)
        data, _ = samples.infected(samples.pe(4100, seed=92), "--seed", 92)
        tree.file(drive, "data/infected.exe", data, Expect.IMAGE, Result.FIXED, infected=True)
        secret = tree.file(drive, "data/secret.exe", samples.pe(4000, seed=93), Expect.LINES,
                           lines=["[ScanFolder][309]Start Scanning File:{path}",
                                  "[CommFunc::IsFilePE][66]Call CreateFile failed: 13",
                                  "[ScanFolder][338]Not PE-Type, no need to scan"])
        os.chmod(os.path.join(root, *secret.parts), 0o600)
        for _, where in isolated.SYSTEM_MOUNTS:
            tree.folder(drive, tuple(where.split("/")), expect=Expect.SILENT)
        vol.mount_system()
        log_path = os.path.join(zq, isolated.LOG)
        command = isolated.program_command(root, args=["--check"], user=NOBODY)

        before = tree.snapshot()
        res = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=120)
        problems, _ = checks.verdict(
            tree, res, log_path, init_lines=[], object_ready=False, pause_text=PAUSE_TEXT,
            console_eol=b"\n", readdir_order=True, snapshots=(before, tree.snapshot()),
            quarantine_dirs=[], allowed_new={(0, ".zq/ZQCindervane.log")}, infected=[],
            records_folder=None, check_only=True, exit_code=2)
        ok = checks.report("native: check only, a file that cannot be read", problems)

        # The root itself cannot be listed.
        os.unlink(log_path)
        os.chmod(root, 0o711)
        try:
            res = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, timeout=120)
        finally:
            os.chmod(root, 0o755)
        problems, log_lines = checks.run_problems(res, log_path, checks.decode,
                                                  stderr_checked=False, exit_code=2)
        want = ["Start...", VERSION_LINE, CHECK_LINE, "[wmain][440]Start Scanning Folder:",
                "[ScanFolder][275]Call FindFirstFile failed: 13"]
        want += [summary_line(want, log_lines, True), "End..."]
        problems += checks.diff("log", want, log_lines)
        line = (b"ZQCindervane: / could not be listed, nothing on it was scanned "
                b"(the log says why)\n")
        if res.stderr != line:
            problems.append("standard error %r, expected %r" % (res.stderr, line))
        ok &= checks.report("native: check only, the root cannot be listed", problems)
        return ok
    finally:
        vol.close()


def run_with_terminal(command, on_terminal, key_at_prompt, work):
    """Runs `command` with the standard streams named in `on_terminal`
    ("in", "out", "err") on one pseudo-terminal and the others on the null
    device (input) or files. When `key_at_prompt`, a key is typed once the
    pause's prompt shows, after checking that the program waits for it.
    Returns (status, terminal bytes, {"out": bytes, "err": bytes}, problems)."""
    master, slave = pty.openpty()
    files = {name: open(os.path.join(work, "terminal_" + name), "w+b") for name in ("out", "err")}
    problems = []
    try:
        proc = subprocess.Popen(
            command,
            stdin=slave if "in" in on_terminal else subprocess.DEVNULL,
            stdout=slave if "out" in on_terminal else files["out"],
            stderr=slave if "err" in on_terminal else files["err"])
        os.close(slave)
        seen, typed = b"", False
        deadline = time.time() + 120
        while time.time() < deadline:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                try:
                    chunk = os.read(master, 65536)
                except OSError:  # EIO: every holder of the terminal's other side is gone
                    chunk = b""
                if not chunk:
                    break
                seen += chunk
            if key_at_prompt and not typed and PAUSE_PROMPT in seen:
                time.sleep(0.5)
                if proc.poll() is not None:
                    problems.append("the program did not wait at the pause")
                os.write(master, b"x")
                typed = True
            if proc.poll() is not None and not ready:
                break
        try:
            status = proc.wait(timeout=max(1, deadline - time.time()))
        except subprocess.TimeoutExpired:
            proc.kill()
            status = proc.wait()
            problems.append("the program did not end (waiting for a key?)")
        streams = {}
        for name, f in files.items():
            f.seek(0)
            streams[name] = f.read()
        if key_at_prompt and not typed:
            problems.append("no pause prompt on the terminal")
        return status, seen, streams, problems
    finally:
        os.close(master)
        for f in files.values():
            f.close()


def run_terminal_cases(args, libs, loader):
    """The operator's terminal: the closing line after "End Scanning..." on
    standard error when that is a terminal (below "End Scanning..." when
    standard output is the same terminal), and the pause only when standard
    input and standard output are both the terminal."""
    vol, zq = small_volume(args, libs, loader, "terminal")
    try:
        root, samples = vol.mnt, args.samples
        os.makedirs(os.path.join(root, "data"))
        with open(os.path.join(root, "data", "clean.exe"), "wb") as f:
            f.write(samples.pe(3000, seed=95))
        data, host = samples.infected(samples.pe(4100, seed=96), "--seed", 96)
        with open(os.path.join(root, "data", "infected.exe"), "wb") as f:
            f.write(data)
        vol.mount_system()
        log = "log: /.zq/" + isolated.LOG
        checked = ("ZQCindervane: 2 examined, 1 infected (nothing repaired), 0 errors, "
                   "0 not scanned; " + log).encode()
        # No quarantine library here: the repair says that it kept no backup.
        repaired = ("ZQCindervane: 2 examined, 1 repaired (no backup kept: the quarantine "
                    "library could not be loaded), 0 errors, 0 not scanned; " + log).encode()
        results = (b"Path:/data/clean.exe\tResult:Safe\n", b"Path:/data/infected.exe\tResult:%s\n")
        # (name, arguments, streams on the terminal, typed key, status,
        #  terminal must end with, standard output must be, standard error must be)
        cases = [
            ("output to a file, error on a terminal", ["--check"], ("in", "err"), False, 1,
             checked + b"\r\n", "results", b""),
            ("everything on a terminal", [], ("in", "out", "err"), True, 0,
             b"End Scanning...\r\n" + repaired + b"\r\n" + PAUSE_PROMPT + b"\r\n", None, None),
            ("input and error redirected", [], ("out",), False, 0, b"End Scanning...", None, b""),
        ]
        ok = True
        for name, arguments, on_terminal, key, want_status, tail, want_out, want_err in cases:
            status, seen, streams, problems = run_with_terminal(
                isolated.program_command(root, args=arguments), on_terminal, key, args.work)
            if status != want_status:
                problems.append("exit status %d, expected %d" % (status, want_status))
            # The progress line may have been drawn and cleared before the end;
            # the key is echoed when it came before the pause turned echo off.
            if key and seen.endswith(b"x\r\n"):
                seen = seen[:-3] + b"\r\n"
            if not seen.endswith(tail):
                problems.append("the terminal ends %r, expected %r" % (seen[-300:], tail))
            if want_out == "results":
                word = b"Infected" if "--check" in arguments else b"Is Fix"
                want_out = (b"Start Scanning..." + results[0] + results[1] % word +
                            b"End Scanning...")
                if streams["out"] not in (want_out, b"Start Scanning..." + results[1] % word +
                                          results[0] + b"End Scanning..."):
                    problems.append("standard output %r" % streams["out"])
            if want_err is not None and streams["err"] != want_err:
                problems.append("standard error %r" % streams["err"])
            if PAUSE_PROMPT in streams["out"]:
                problems.append("a pause prompt in the redirected output")
            ok &= checks.report("native terminal: " + name, problems)
        with open(os.path.join(root, "data", "infected.exe"), "rb") as f:
            if f.read() != host:
                ok &= checks.report("native terminal: the infected file repaired", ["it is not"])
        return ok
    finally:
        vol.close()


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
        library = isolated.install_suite(root, args.druquara_wait)
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
        if not driver.wait_for_hold(library, proc, timeout=120, poll=0.01):
            problems.append("the scan never reached the infected file")
        proc.send_signal(signum)
        time.sleep(0.2)  # the signal lands while the library still holds the scan
        driver.release_hold(library)
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
    args = driver.driver_arguments(("program", "druquara", "zqsample", "work"),
                                   optional=("druquara-wait",))
    libs, loader = driver.native_start(
        args, __file__, [args.druquara, *([args.druquara_wait] if args.druquara_wait else [])])
    checks.clear_kept_logs(args.work)
    ok = True
    for case in CASES:
        ok &= run_case(case, args, libs, loader)
    ok &= run_switch_cases(args, libs, loader)
    ok &= run_nothing_scanned_cases(args, libs, loader)
    ok &= run_unprivileged_cases(args, libs, loader)
    ok &= run_terminal_cases(args, libs, loader)
    if args.druquara_wait:
        for name, signum in INTERRUPTS:
            ok &= run_interrupt_case(name, signum, args, libs, loader)
    driver.finish(ok)


if __name__ == "__main__":
    main()

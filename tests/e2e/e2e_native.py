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
import zq_e2e as e2e  # noqa: E402

SKIP = 77
IN_NAMESPACE = "ZQ_E2E_IN_NAMESPACE"
PAUSE_PROMPT = b"Press any key to continue . . . \n"


def skip(why):
    e2e.log("SKIP: " + why)
    sys.exit(SKIP)


def run(*cmd, check=True, **kw):
    return subprocess.run([str(c) for c in cmd], check=check, **kw)


def enter_namespace(script=__file__, tools=()):
    """Re-runs `script` (this one, or a driver that imports it) in a private
    mount namespace (unless already); skips the test where that cannot be
    done or where one of `tools`, which the driver needs besides the
    namespace, loop volume and chroot, is missing."""
    if os.environ.get(IN_NAMESPACE):
        return
    if os.geteuid() != 0:
        skip("needs root (mount namespace, loop device, chroot)")
    for tool in ("unshare", "mkfs.ext4", "chroot", "mount", "umount", *tools):
        if not shutil.which(tool):
            skip("%s is not installed" % tool)
    probe = run("unshare", "-m", "--propagation", "private", "true", check=False,
                stderr=subprocess.PIPE)
    if probe.returncode != 0:
        skip("unshare -m is not permitted here: %s" % probe.stderr.decode().strip())
    env = dict(os.environ, **{IN_NAMESPACE: "1"})
    res = subprocess.run(["unshare", "-m", "--propagation", "private", sys.executable,
                          os.path.abspath(script), *sys.argv[1:]], env=env)
    sys.exit(res.returncode)


def needed_libraries(*elf_files):
    """The shared libraries (and the loader) the ELF files load, from ldd."""
    libs, loader = set(), None
    for elf in elf_files:
        out = run("ldd", elf, stdout=subprocess.PIPE).stdout.decode()
        for line in out.splitlines():
            line = line.strip()
            if "=>" in line:
                target = line.split("=>", 1)[1].split("(")[0].strip()
                if target:
                    libs.add(target)
            elif line.startswith("/"):
                loader = line.split("(")[0].strip()
    if loader is None:
        raise e2e.Failure("no loader found in ldd output for %s" % (elf_files,))
    return sorted(libs), loader


def install_program(root, program, libs, loader):
    """Copies the program, the shared libraries it needs and their loader
    into `root`/.zq (a folder the scan skips by its name), so that it runs
    chrooted on the volume; returns that folder."""
    zq = os.path.join(root, ".zq")
    os.makedirs(os.path.join(zq, "lib"))
    shutil.copy2(program, os.path.join(zq, "zqcindervane"))
    for lib in libs:
        shutil.copy2(lib, os.path.join(zq, "lib", os.path.basename(lib)))
    shutil.copy2(loader, os.path.join(zq, "ld.so"))
    return zq


class Volume:
    """An ext4 image mounted at `mnt` (in this private namespace)."""

    def __init__(self, work, name, size_mib, mkfs_options=()):
        self.image = os.path.join(work, name + ".img")
        self.mnt = os.path.join(work, name + ".mnt")
        self.mounted = []
        if os.path.exists(self.image):
            os.unlink(self.image)
        with open(self.image, "wb") as f:
            f.truncate(size_mib << 20)
        run("mkfs.ext4", "-q", "-F", "-m", "0", *mkfs_options, self.image)
        os.makedirs(self.mnt, exist_ok=True)
        res = run("mount", "-o", "loop", self.image, self.mnt, check=False,
                  stderr=subprocess.PIPE)
        if res.returncode != 0:
            skip("cannot loop-mount an image here: %s" % res.stderr.decode().strip())
        self.mounted.append(self.mnt)
        os.rmdir(os.path.join(self.mnt, "lost+found"))

    def mount_inside(self, *args, where):
        target = os.path.join(self.mnt, where)
        os.makedirs(target, exist_ok=True)
        run("mount", *args, target)
        self.mounted.append(target)

    def unmount_inside(self):
        while len(self.mounted) > 1:
            run("umount", self.mounted.pop())

    def close(self):
        self.unmount_inside()
        if self.mounted:
            run("umount", self.mounted.pop())
        os.unlink(self.image)


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
    vol = Volume(args.work, "native", 700)
    try:
        return check_case(case, args, libs, loader, vol)
    finally:
        vol.close()


def check_case(case, args, libs, loader, vol):
    t0 = time.time()
    root = vol.mnt
    tree = e2e.Tree("/", os.fsencode, e2e.decode)
    drive = tree.add_drive("", root)
    samples = args.samples

    # The program, its libraries and its loader, in a folder the scan skips.
    zq = install_program(root, args.program, libs, loader)
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
    quarantined = e2e.populate_data(
        tree, drive, "data", samples,
        read_only=(lambda path: run("chattr", "+i", path), "Call CreateFile failed: 0x1"))
    # No Windows directory here: folders of that name are ordinary ones.
    data, host = samples.infected(samples.pe(4100, seed=40), "--seed", 40)
    e = tree.file(drive, "Windows.old/infected.exe", data, "image", 2, infected=True, after=host)
    quarantined.append((drive, e))

    e2e.populate_deep(tree, drive, samples, 4096, search_suffix_len=1)
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
    for parts in (("proc",), ("sys",), ("dev", "shm")):
        tree.folder(drive, parts, expect="silent")
    vol.mount_inside("-t", "proc", "proc", where="proc")
    vol.mount_inside("-t", "sysfs", "sysfs", where="sys")
    vol.mount_inside("-t", "tmpfs", "tmpfs", where="dev/shm")

    e2e.log("  tree ready %.1fs" % (time.time() - t0))
    before = tree.snapshot()
    e2e.log("  snapshot %.1fs" % (time.time() - t0))
    res = subprocess.run(["chroot", root, "/.zq/ld.so", "--library-path", "/.zq/lib",
                          "/.zq/zqcindervane"], stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    e2e.log("  program ran %.1fs" % (time.time() - t0))
    vol.unmount_inside()
    after = tree.snapshot()
    e2e.log("  snapshot %.1fs" % (time.time() - t0))

    problems = []
    if res.returncode != 0:
        problems.append("exit code %d" % res.returncode)
    if res.stderr:
        problems.append("standard error: %r" % res.stderr[:500])
    log_lines, log_problems = e2e.read_log(os.path.join(zq, "ZQCindervane.log"), e2e.decode)
    problems += log_problems
    if not case.key or case.key_writable:
        init = ["[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2"]
    elif not case.library:
        init = ["[DRUDllGetClassObject][22]Call LoadLibrary failed: 2"]
    else:
        init = []
    want_log, want_console = tree.expected(log_lines, init, object_ready=case.object_ready(),
                                           pause_text=PAUSE_PROMPT, console_eol=b"\n",
                                           readdir_order=True)
    e2e.keep_log(args.work, case.name, os.path.join(zq, "ZQCindervane.log"), want_log)
    problems += e2e.diff("log", want_log, log_lines)
    problems += e2e.diff("console", e2e.decode(want_console).split("\n"),
                         e2e.decode(res.stdout).split("\n"))
    problems += e2e.check_files(
        tree, before, after, quarantine_dirs=[(0, ".suite")],
        allowed_new={(0, ".zq/ZQCindervane.log")},
        infected_copies=quarantined if case.object_ready() else None)
    if case.object_ready():
        problems += e2e.check_quarantine_records(
            tree, os.path.join(suite, "security", "zebscan", "Quarantine"), quarantined)
    return e2e.report("native: " + case.name, problems)


INTERRUPTS = [("SIGINT", signal.SIGINT), ("SIGTERM", signal.SIGTERM), ("SIGHUP", signal.SIGHUP)]


def run_interrupt_case(name, signum, args, libs, loader):
    """The scan is interrupted while the quarantine library holds it inside
    an infected file: that file is repaired whole, the walk stops before the
    next file, every console result has its log line, the log ends with the
    interrupt's line and "End...", and the process dies by the signal."""
    vol = Volume(args.work, "interrupt", 64)
    try:
        root = vol.mnt
        zq = install_program(root, args.program, libs, loader)
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
        vol.mount_inside("-t", "proc", "proc", where="proc")
        vol.mount_inside("-t", "sysfs", "sysfs", where="sys")
        vol.mount_inside("-t", "tmpfs", "tmpfs", where="dev/shm")

        proc = subprocess.Popen(["chroot", root, "/.zq/ld.so", "--library-path", "/.zq/lib",
                                 "/.zq/zqcindervane"], stdin=subprocess.DEVNULL,
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
        log_lines, log_problems = e2e.read_log(os.path.join(zq, "ZQCindervane.log"), e2e.decode)
        problems += log_problems
        console = e2e.decode(out)
        if not console.startswith("Start Scanning..."):
            problems.append("console does not start with Start Scanning...: %r" % console[:80])
        shown = [l for l in console[len("Start Scanning..."):].split("\n") if l]
        logged = [l for l in log_lines if l.startswith("[ScanFolder][334]")]
        want = ["[ScanFolder][334]Path:%s, Result:%d" % (
            l[len("Path:"):l.index("\tResult:")],
            {"Safe": 0, "Is Fix": 2, "Error": -1}[l[l.index("\tResult:") + 8:]])
            for l in shown if l.startswith("Path:") and "\tResult:" in l]
        if len(want) != len(shown):
            problems.append("console lines that are no result lines: %r" % shown)
        problems += e2e.diff("results (console against log)", want, logged)
        if not logged or logged[-1] != "[ScanFolder][334]Path:/data/infected.exe, Result:2":
            problems.append("the last result is not the repaired infected file")
        # The summary line's figures are checked by the full runs; here only
        # its place between the interrupt's line and "End...".
        log_lines = ["Summary..." if l.startswith("Summary...") else l for l in log_lines]
        ending = ["[wmain][443]Scan interrupted (%s), ending before the next file" % name,
                  "Summary...", "End..."]
        problems += e2e.diff("log ending", ending, log_lines[-3:])
        if "[ScanFolder][334]Path:/data/infected.exe, Result:2" in log_lines:
            after = log_lines[log_lines.index(
                "[ScanFolder][334]Path:/data/infected.exe, Result:2") + 1:]
            if after != ending:
                problems.append("lines after the interrupted file: %r" % after[:5])
        with open(infected_path, "rb") as f:
            if f.read() != host:
                problems.append("the infected file is not repaired whole")
        return e2e.report("native: interrupted by " + name, problems)
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
    enter_namespace()
    os.makedirs(args.work, exist_ok=True)
    e2e.clear_kept_logs(args.work)
    libs, loader = needed_libraries(args.program, args.druquara)
    args.samples = e2e.Samples([args.zqsample], os.path.join(args.work, "samples"))
    ok = True
    for case in CASES:
        ok &= run_case(case, args, libs, loader)
    if args.druquara_wait:
        for name, signum in INTERRUPTS:
            ok &= run_interrupt_case(name, signum, args, libs, loader)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()

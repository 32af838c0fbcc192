#!/usr/bin/env python3
"""The operator's first runs, natively: the paths named on the command line,
the static program in a chroot that holds nothing else, backups required,
and the closing lines that must not overstate.

A test volume (ext4, loop-mounted in a private mount namespace) is the
chroot's root. It holds the program alone in /.zq (no loader, no library,
no /proc or /sys unless a case mounts them) and two more test volumes
mounted at /mnt/windows and /data, each with a clean and an infected
image. Cases, in one table: one volume named, both, the same one named
twice, a file named, a missing path, no path (the fixed roots: every test
volume), a repair of one volume (no quarantine library: repaired, the log
says no backup was kept), and --require-backup without the library and
with a library whose backups fail (nothing repaired, Infected, exit 2).
Then the closing line on a terminal: no library (the no-backup words), a
read-only program folder (no log named, the unwritten lines said on a line
of their own) and a full one (the unwritten lines said).
"""
import os
import subprocess
import sys

sys.dont_write_bytecode = True

import e2e_native as native
import zq_checks as checks
import zq_driver as driver
import zq_isolated as isolated

LOG = isolated.LOG
WINDOWS, DATA = "mnt/windows", "data"
NO_LIBRARY = "the quarantine library could not be loaded"
BACKUP_FAILED = "the quarantine library's backup failed"


class Disk:
    """A test volume mounted inside the root at `where`, with clean.exe and
    infected.exe (and the host the repair must give back)."""

    def __init__(self, vol, args, where, seed):
        self.where = where
        vol.mount_inside("-o", "loop", self._image(args, where), where=where)
        self.folder = os.path.join(vol.mnt, where)
        lost = os.path.join(self.folder, "lost+found")
        if os.path.isdir(lost):
            os.rmdir(lost)
        samples = args.samples
        self.clean = samples.pe(3000, seed=seed)
        self.infected, self.host = samples.infected(samples.pe(4100, seed=seed + 1), "--seed",
                                                    seed + 1)
        self.reset()

    @staticmethod
    def _image(args, where):
        image = os.path.join(args.work, where.replace("/", "_") + ".img")
        with open(image, "wb") as f:
            f.truncate(16 << 20)
        isolated.run("mkfs.ext4", "-q", "-F", "-m", "0", image)
        return image

    def reset(self):
        driver.write(os.path.join(self.folder, "clean.exe"), self.clean)
        driver.write(os.path.join(self.folder, "infected.exe"), self.infected)

    def results(self, infected_word):
        return [b"Path:/%s/clean.exe\tResult:Safe" % self.where.encode(),
                b"Path:/%s/infected.exe\tResult:%s" % (self.where.encode(), infected_word)]

    def infected_now(self):
        return driver.read(os.path.join(self.folder, "infected.exe"))


def result_lines(stdout):
    if stdout.startswith(b"Start Scanning..."):
        stdout = stdout[len(b"Start Scanning..."):]
    return [line for line in stdout.splitlines() if line.startswith(b"Path:")]


def log_lines(zq):
    path = os.path.join(zq, LOG)
    if not os.path.exists(path):
        return None
    return [line.split("  ", 1)[1] if "  " in line else line
            for line in checks.decode(driver.read(path)).split("\r\n") if line]


def summary_field(lines, name):
    for line in lines or ():
        if line.startswith("Summary..."):
            for field in line[len("Summary..."):].split(", "):
                key, _, value = field.partition(":")
                if key == name:
                    return value
    return None


def run_case(vol, zq, disks, case):
    """One row of the table; a list of problems."""
    name, arguments, want_status, want_results, want_roots, want_err, changed, extra = case
    log_path = os.path.join(zq, LOG)
    if os.path.exists(log_path):
        os.unlink(log_path)
    for disk in disks.values():
        disk.reset()
    res = subprocess.run(isolated.program_command(vol.mnt, args=arguments),
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         timeout=120)
    problems = []
    if res.returncode != want_status:
        problems.append("exit status %d, expected %d" % (res.returncode, want_status))
    if want_err is not None and res.stderr != want_err:
        problems.append("standard error %r, expected %r" % (res.stderr, want_err))
    lines = log_lines(zq)
    if want_results is None:  # refused before the scan: no scan, no log
        if res.stdout:
            problems.append("standard output %r" % res.stdout[:300])
        if lines is not None:
            problems.append("a log was written: %r" % lines[:5])
        return problems
    got = result_lines(res.stdout)
    # A folder's entries come in the order the file system lists them; the
    # roots' order is checked through their 440 lines.
    if sorted(got) != sorted(want_results):
        problems.append("results %r, expected %r" % (got, want_results))
    if want_roots is not None:
        roots = [l[len("[wmain][440]Start Scanning Folder:"):] for l in lines or ()
                 if l.startswith("[wmain][440]")]
        if roots != want_roots:
            problems.append("roots walked %r, expected %r" % (roots, want_roots))
        if summary_field(lines, "Roots") != str(len(want_roots)):
            problems.append("summary Roots:%s, expected %d" % (summary_field(lines, "Roots"),
                                                               len(want_roots)))
    for disk in disks.values():
        now = disk.infected_now()
        want = disk.host if disk.where in changed else disk.infected
        if now != want:
            problems.append("/%s/infected.exe is %s" % (
                disk.where, "not repaired" if disk.where in changed else "changed"))
    for line in extra:
        if line not in (lines or ()):
            problems.append("the log lacks %r" % line)
    return problems


def table(disks):
    w, d = disks[WINDOWS], disks[DATA]
    fixed = lambda disk: disk.results(b"Is Fix")
    infected = lambda disk: disk.results(b"Infected")
    no_backup = "[DisinfectFile][152]No backup kept, repaired anyway:/mnt/windows/infected.exe"
    not_repaired = "[DisinfectFile][153]No backup kept, not repaired:/data/infected.exe"
    # (name, arguments, status, console results, roots walked, standard
    #  error, volumes repaired, log lines that must be there)
    return [
        ("one named, check", ["--check", "/mnt/windows"], 1, infected(w), ["/mnt/windows"], b"",
         (), ["Check only: nothing is repaired"]),
        ("both named, check", ["--check", "/data", "/mnt/windows"], 1, infected(d) + infected(w),
         ["/data", "/mnt/windows"], b"", (), []),
        ("the same named twice", ["--check", "/mnt/windows", "/mnt/windows/", "/mnt/../mnt/windows"],
         1, infected(w), ["/mnt/windows"], b"", (), []),
        ("a file named", ["--check", "/mnt/windows/clean.exe"], 2, None, None,
         b"ZQCindervane: cannot scan /mnt/windows/clean.exe: it is not a folder\n", (), []),
        ("a missing path", ["/mnt/windows", "/mnt/nothing"], 2, None, None,
         b"ZQCindervane: cannot scan /mnt/nothing: it could not be found (error 2)\n", (), []),
        ("one named, repaired", ["/mnt/windows"], 0, fixed(w), ["/mnt/windows"], b"",
         (WINDOWS,), [no_backup, "[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2"]),
        ("backup required, no library", ["--require-backup", "/data"], 2, infected(d), ["/data"],
         b"", (), [not_repaired]),
    ]


def check_table(args, libs, loader):
    vol = isolated.Volume(args.work, "roots", 64)
    try:
        zq = isolated.install_program(vol.mnt, args.program, libs, loader)
        disks = {WINDOWS: Disk(vol, args, WINDOWS, 10), DATA: Disk(vol, args, DATA, 20)}
        # Nothing but the program: no loader, no library, no system folders.
        extra = sorted(n for n in os.listdir(os.path.join(zq, "lib")))
        ok = checks.report("roots: the chroot holds the program alone",
                           ["/.zq/lib holds %r" % extra] if extra else [])
        for case in table(disks):
            ok &= checks.report("roots: " + case[0], run_case(vol, zq, disks, case))

        # A library whose backups fail: the suite's Quarantine is a file.
        suite = isolated.install_suite(vol.mnt, args.druquara)
        driver.write(os.path.join(suite, "Quarantine"), b"not a folder")
        isolated.install_program(vol.mnt, args.program, *isolated.needed_libraries(
            args.program, args.druquara))
        ok &= checks.report("roots: backup required, backups failing", run_case(
            vol, zq, disks,
            ("", ["--require-backup", "/data"], 2, disks[DATA].results(b"Infected"), ["/data"],
             b"", (), ["[DisinfectFile][153]No backup kept, not repaired:/data/infected.exe"])))
        ok &= check_closing(vol, zq, disks, BACKUP_FAILED, "backups failing", args.work)
        os.unlink(os.path.join(suite, "Quarantine"))
        ok &= checks.report("roots: backup required, backups kept", run_case(
            vol, zq, disks,
            ("", ["--require-backup", "/data"], 0, disks[DATA].results(b"Is Fix"), ["/data"],
             b"", (DATA,), [])))

        # No path: every fixed root (the test volumes), which needs /proc and /sys.
        vol.mount_system()
        for disk in disks.values():
            disk.reset()
        res = subprocess.run(isolated.program_command(vol.mnt, args=["--check"]),
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=120)
        got = result_lines(res.stdout)
        problems = [] if res.returncode == 1 else ["exit status %d" % res.returncode]
        for disk in disks.values():
            for line in disk.results(b"Infected"):
                if line not in got:
                    problems.append("%r not among the results %r" % (line, got))
        ok &= checks.report("roots: no path, every fixed volume", problems)
        return ok
    finally:
        vol.close()


def check_closing(vol, zq, disks, reason, name, work):
    """The closing line on a terminal after a repair of /data whose backup
    was not kept: it says so, with `reason`."""
    disks[DATA].reset()
    status, seen, _, problems = native.run_with_terminal(
        isolated.program_command(vol.mnt, args=["/data"]), ("out", "err"), False, work)
    want = ("End Scanning...\r\nZQCindervane: 2 examined, 1 repaired (no backup kept: %s), "
            "0 errors, 0 not scanned; log: /.zq/%s\r\n" % (reason, LOG)).encode()
    if status != 0:
        problems.append("exit status %d" % status)
    if not seen.endswith(want):
        problems.append("the terminal ends %r, expected %r" % (seen[-300:], want))
    return checks.report("roots: closing line, " + name, problems)


def check_log_places(args, libs, loader):
    """The closing line when the log cannot be kept: a read-only program
    folder (never opened: no log named, the lost lines said on their own
    line) and a full one (opened, every write lost: said too)."""
    ok = True
    for name, options in (("read-only program folder", "ro"), ("full program folder", "full")):
        vol = isolated.Volume(args.work, "logplace", 64)
        try:
            disk = Disk(vol, args, DATA, 30)
            zq = os.path.join(vol.mnt, ".zq")
            vol.mount_inside("-t", "tmpfs", "-o", "size=4m", "tmpfs", where=".zq")
            isolated.install_program(vol.mnt, args.program, libs, loader)
            if options == "ro":
                isolated.run("mount", "-o", "remount,ro", zq)
            else:
                with open(os.path.join(zq, "filler"), "wb") as f:
                    try:
                        while True:
                            f.write(b"\0" * 65536)
                            f.flush()
                    except OSError:
                        pass
            status, seen, _, problems = native.run_with_terminal(
                isolated.program_command(vol.mnt, args=["--check", "/data"]), ("out", "err"),
                False, args.work)
            lost = b"\r\nZQCindervane: "
            closing = (b"ZQCindervane: 2 examined, 1 infected (nothing repaired), 0 errors, "
                       b"0 not scanned; no log\r\n")
            if status != 1:
                problems.append("exit status %d" % status)
            at = seen.find(b"End Scanning...")
            tail = seen[at + len(b"End Scanning..."):] if at >= 0 else b""
            if not (tail.startswith(lost) and b" log lines could not be written to /.zq/" + LOG.encode()
                    in tail and tail.endswith(closing)):
                problems.append("the terminal after End Scanning... is %r" % tail[-400:])
            if disk.infected_now() != disk.infected:
                problems.append("the infected file changed in a check")
            ok &= checks.report("roots: closing line, " + name, problems)
        finally:
            vol.close()
    return ok


def main():
    args = driver.driver_arguments(("program", "druquara", "zqsample", "work"))
    libs, loader = driver.native_start(args, __file__)
    if not isolated.is_static(args.program):
        checks.log("SKIP: the program is not static (a sanitizer build?)")
        sys.exit(checks.SKIP)
    ok = check_table(args, libs, loader)
    ok &= check_log_places(args, libs, loader)
    driver.finish(ok)


if __name__ == "__main__":
    main()

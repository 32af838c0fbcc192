#!/usr/bin/env python3
"""End-to-end run of the real Windows program under Wine.

usage: e2e_wine.py --program EXE --druquara DLL --zqsample EXE --wine W
                   --wineserver WS --work DIR

Runs in the environment of the build's Wine fixture (WINEPREFIX names the
prefix the fixture made; zqsample.exe runs there). Each case makes a prefix
of its own in DIR: the fixture's registry, and dosdevices with exactly two
drives, both test folders:

  C:  "windows" (a link to the fixture's Windows folder: the Windows
      directory, never entered), "Windows.old" (contains the Windows
      directory's text: never entered either), an application folder, the
      program in the dot-folder ".zq" and the suite in ".suite";
  D:  clean images, DLLs, other files, dot names, infected samples, paths
      whose plain form names no file (past MAX_PATH, a trailing dot or
      space, device names such as COM1.exe), and links back to folders
      above (entered once only: Wine lists a Linux symbolic link as a
      reparse point without a tag, which the walk enters and checks).
      The 4096-character limit is not reached here: Wine puts its prefix's
      Linux folder in front of every path, and Linux refuses paths of 4096
      bytes; the unit tests and the native runs cover it.

There is no Z:, so nothing outside the test folders is visible. The cases
are the registry key set or absent and the stand-in quarantine library
installed or missing, and a run with /check; each checks the whole console
text, the log, the repaired files (with /check: every file as it was), the
quarantine, the exit status and that nothing else changed. Then the
switches that end without a scan, and a prefix whose drives are none of
them fixed (nothing scanned, said on standard error).
"""
import functools
import os
import pwd
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
from zq_population import populate_data, populate_windows_names  # noqa: E402
from zq_tree import CHECK_LINE, VERSION_LINE, Expect, Result, Tree, summary_line  # noqa: E402

KEY = r"HKLM\SOFTWARE\Morlane\QRVCommon"


def gbk(text):
    """The program writes paths in the code page of the "chs" locale."""
    return text.encode("gbk")


def from_gbk(raw):
    return raw.decode("gbk", "surrogateescape")


class Prefix:
    """A Wine prefix of this run: the fixture's registry, our own drives."""

    def __init__(self, args, name):
        self.args = args
        self.dir = os.path.join(args.work, name)
        self.immutable = []
        if os.path.exists(self.dir):
            subprocess.run(["chattr", "-R", "-i", self.dir], stderr=subprocess.DEVNULL)
            shutil.rmtree(self.dir)
        os.makedirs(os.path.join(self.dir, "dosdevices"))
        fixture = os.environ["WINEPREFIX"]
        for reg in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
            if os.path.exists(os.path.join(fixture, reg)):
                shutil.copy2(os.path.join(fixture, reg), os.path.join(self.dir, reg))
        self.fixture_windows = os.path.join(fixture, "drive_c", "windows")
        self.c = os.path.join(self.dir, "C")
        self.d = os.path.join(self.dir, "D")
        for letter, folder in (("c:", self.c), ("d:", self.d)):
            os.makedirs(folder)
            os.symlink(folder, os.path.join(self.dir, "dosdevices", letter))
        self.env = dict(os.environ, WINEPREFIX=self.dir)

    def wine(self, *argv, **kw):
        # Started from C:\ (a folder outside the drives would have no name).
        return subprocess.run([self.args.wine, *argv], env=self.env, cwd=self.c, **kw)

    def set_install_path(self, path):
        """Sets the suite's install path in the 32-bit view of the registry."""
        res = self.wine("reg", "add", KEY, "/v", "ProgramPath", "/t", "REG_SZ", "/d", path,
                        "/reg:32", "/f", stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if res.returncode != 0:
            raise checks.Failure("reg add failed: %r" % res.stdout)

    def run_scan(self, timeout, args=()):
        """Runs C:\\.zq\\ZQCindervane.exe with `args` and standard input
        closed (standard output a pipe: no pause)."""
        return self.wine("C:\\.zq\\ZQCindervane.exe", *args, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)

    def set_drive_type(self, letter, kind):
        """Tells Wine what kind of drive `letter` ("c:") is ("hd", "network",
        "cdrom", "floppy")."""
        # The 64-bit view, which Wine's mount manager reads.
        res = self.wine("reg", "add", r"HKLM\Software\Wine\Drives", "/v", letter, "/t", "REG_SZ",
                        "/d", kind, "/reg:64", "/f", stdout=subprocess.PIPE,
                        stderr=subprocess.STDOUT)
        if res.returncode != 0:
            raise checks.Failure("reg add failed: %r" % res.stdout)

    def log_path(self):
        """The log the program writes beside itself."""
        return os.path.join(self.c, ".zq", "ZQCindervane.log")

    def make_immutable(self, path):
        subprocess.run(["chattr", "+i", path], check=True)
        self.immutable.append(path)

    def stop(self):
        subprocess.run([self.args.wineserver, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([self.args.wineserver, "-w"], env=self.env, stderr=subprocess.DEVNULL)
        for path in self.immutable:  # leave nothing the build folder's removal trips on
            subprocess.run(["chattr", "-i", path], check=True)


def run_in_prefix(args, name, check):
    """`check(args, prefix)` in a new prefix `name` (see Prefix), whose
    wineserver is stopped afterwards; a failed check's prefix stays for a
    look, until the next run. Returns what `check` returned (true: passed)."""
    prefix = Prefix(args, name)
    try:
        ok = check(args, prefix)
    finally:
        prefix.stop()
    if ok:
        shutil.rmtree(prefix.dir)
    return ok


# Standard output is a pipe in every run here: there is no pause.
PAUSE_TEXT = b""


class Case:
    def __init__(self, name, key, library, check=False):
        self.name, self.key, self.library = name, key, library
        self.check = check  # /check: nothing repaired, backed up or written


CASES = [
    Case("key set, library installed", key=True, library=True),
    Case("key absent", key=False, library=True),
    Case("key set, library missing", key=True, library=False),
    # Only checking: the library is there, and is never loaded.
    Case("check only", key=True, library=True, check=True),
]


def check_case(case, args, prefix):
    t0 = time.time()
    samples = args.samples
    tree = Tree("\\", gbk, from_gbk)
    c = tree.add_drive("C:", prefix.c)
    d = tree.add_drive("D:", prefix.d)

    # C: the Windows directory and a folder whose path contains its text.
    tree.link(c, "windows", prefix.fixture_windows, lines=[])
    tree.folder(c, ("Windows.old",), expect=Expect.SILENT)
    tree.file(c, "Windows.old/infected.exe",
              samples.infected(samples.pe(4100, seed=40), "--seed", 40)[0], Expect.SILENT)
    tree.file(c, "Program Files/App/tool.exe", samples.pe(6000, seed=41), Expect.IMAGE,
              Result.SAFE)
    # The program and the suite, in folders the scan passes over.
    tree.folder(c, (".zq",))
    shutil.copy2(args.program, os.path.join(prefix.c, ".zq", "ZQCindervane.exe"))
    # Wine makes the user's profile folders on C: when its session starts.
    user = pwd.getpwuid(os.getuid()).pw_name
    for sub in ("Local", "Roaming"):
        tree.folder(c, ("users", user, "AppData", sub))
    tree.folder(c, (".suite",))
    zebscan = os.path.join(prefix.c, ".suite", "security", "zebscan")
    os.makedirs(zebscan)
    if case.library:
        shutil.copy2(args.druquara, os.path.join(zebscan, "druquara.dll"))

    # D: the common tree, the path limits, and links back to folders above.
    # An immutable file cannot be opened for writing, not even by root (for
    # whom Wine's read-only attribute is no obstacle): ERROR_ACCESS_DENIED.
    quarantined = populate_data(
        tree, d, "", samples, read_only=(prefix.make_immutable, "Call CreateFile failed: 0x5"))
    quarantined += populate_windows_names(tree, d, samples)
    tree.folder(d, ("loops",))
    again = ["[ScanFolder][297]Folder already open above, not scanned again:{path}"]
    tree.link(d, "loops/to_itself", ".", lines=again)
    tree.link(d, "loops/to_the_drive", "..", lines=again)

    if case.key:
        prefix.set_install_path("C:\\.suite")
    checks.log("  tree ready %.1fs" % (time.time() - t0))

    before = tree.snapshot()
    res = prefix.run_scan(timeout=1200, args=["/check"] if case.check else [])
    checks.log("  program ran %.1fs" % (time.time() - t0))
    after = tree.snapshot()

    if not case.key:
        init = ["[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2"]
    elif not case.library:
        init = ["[DRUDllGetClassObject][22]Call LoadLibrary failed: 126"]
    else:
        init = []
    problems, _ = checks.verdict(
        tree, res, prefix.log_path(), init_lines=init,
        object_ready=case.library and case.key and not case.check,
        pause_text=PAUSE_TEXT, console_eol=b"\r\n", snapshots=(before, after),
        quarantine_dirs=[] if case.check else [
            (0, os.path.join(".suite", "security", "zebscan", "Quarantine"))],
        allowed_new={(0, os.path.join(".zq", "ZQCindervane.log"))}, infected=quarantined,
        records_folder=os.path.join(zebscan, "Quarantine"), keep=(args.work, case.name),
        check_only=case.check)
    return checks.report("wine: " + case.name, problems)


def check_switches_and_drives(args, prefix):
    """In one prefix: the switches that end at once (the usage or the
    version on its stream, the status, neither a scan nor a log), then the
    same drives made network drives: no fixed drive, so nothing is scanned,
    standard error says so, the summary has Roots:0, and with /check the
    status is 2."""
    ok = True
    os.symlink(prefix.fixture_windows, os.path.join(prefix.c, "windows"))
    os.makedirs(os.path.join(prefix.c, ".zq"))
    shutil.copy2(args.program, os.path.join(prefix.c, ".zq", "ZQCindervane.exe"))
    for arguments, what in checks.switch_cases(slash=True):
        res = prefix.run_scan(timeout=300, args=arguments)
        # Wine may write its own lines on standard error.
        problems = checks.switch_problems(what, res, prefix.log_path(), b"\r\n",
                                          stderr_checked=False)
        ok &= checks.report("wine: switches %s" % " ".join(arguments), problems)

    with open(os.path.join(prefix.d, "clean.exe"), "wb") as f:  # never scanned
        f.write(args.samples.pe(3000, seed=90))
    for letter in ("c:", "d:"):
        prefix.set_drive_type(letter, "network")
    prefix.stop()  # Wine reads the drives' kinds when its session starts
    stderr_line = b"ZQCindervane: nothing scanned: the drive list holds no fixed drive\r\n"
    for check in (False, True):
        if os.path.exists(prefix.log_path()):
            os.unlink(prefix.log_path())
        res = prefix.run_scan(timeout=300, args=["/check"] if check else [])
        problems, log_lines = checks.run_problems(res, prefix.log_path(), from_gbk,
                                                  stderr_checked=False,
                                                  exit_code=2 if check else 0)
        want = ["Start...", VERSION_LINE] + ([CHECK_LINE] if check else [])
        want += ["[wmain][445]Nothing scanned:the drive list holds no fixed drive"]
        want += [summary_line(want, log_lines, check), "End..."]
        problems += checks.diff("log", want, log_lines)
        if stderr_line not in res.stderr:
            problems.append("standard error %r, expected %r" % (res.stderr, stderr_line))
        if res.stdout != b"Start Scanning...End Scanning...":
            problems.append("console %r" % res.stdout)
        ok &= checks.report("wine: no fixed drive%s" % (", check only" * check), problems)
    return ok


def check_named_roots(args, prefix):
    """Paths named on the command line, with C: and D: network drives (no
    fixed drive at all): a named drive letter and a named folder are walked
    all the same, each a root in the order given, a folder named twice
    once; a repair with /require-backup and no suite key leaves the
    infected file as it is (Infected, line 153, status 2); a path that does
    not exist is refused before any scan."""
    samples = args.samples
    os.symlink(prefix.fixture_windows, os.path.join(prefix.c, "windows"))
    os.makedirs(os.path.join(prefix.c, ".zq"))
    shutil.copy2(args.program, os.path.join(prefix.c, ".zq", "ZQCindervane.exe"))
    clean = samples.pe(3000, seed=91)
    infected, _ = samples.infected(samples.pe(4100, seed=92), "--seed", 92)
    driver.write(os.path.join(prefix.d, "clean.exe"), clean)
    driver.write(os.path.join(prefix.d, "Data", "infected.exe"), infected)
    for letter in ("c:", "d:"):
        prefix.set_drive_type(letter, "network")
    prefix.stop()
    results = lambda out: sorted(l for l in out.replace(b"Start Scanning...", b"").split(b"\r\n")
                                 if l.startswith(b"Path:"))
    # (name, arguments, status, console results, roots in the log, log line)
    cases = [
        ("a named drive letter", ["/check", "d:"], 1,
         [b"Path:D:\\Data\\infected.exe\tResult:Infected", b"Path:D:\\clean.exe\tResult:Safe"],
         ["D:"], None),
        ("a named folder, twice", ["/check", "D:\\Data", "d:\\data\\"], 1,
         [b"Path:D:\\Data\\infected.exe\tResult:Infected"], ["D:\\Data"], None),
        ("backup required, no key", ["/require-backup", "D:\\Data"], 2,
         [b"Path:D:\\Data\\infected.exe\tResult:Infected"], ["D:\\Data"],
         "[DisinfectFile][153]No backup kept, not repaired:D:\\Data\\infected.exe"),
    ]
    ok = True
    for name, arguments, status, want, roots, line in cases:
        if os.path.exists(prefix.log_path()):
            os.unlink(prefix.log_path())
        res = prefix.run_scan(timeout=300, args=arguments)
        problems = [] if res.returncode == status else ["exit status %d, expected %d" % (
            res.returncode, status)]
        if results(res.stdout) != sorted(want):
            problems.append("results %r, expected %r" % (results(res.stdout), sorted(want)))
        log = from_gbk(driver.read(prefix.log_path())) if os.path.exists(prefix.log_path()) else ""
        walked = [l.split("]", 2)[2][len("Start Scanning Folder:"):] for l in
                  (x.split("  ", 1)[-1] for x in log.split("\r\n")) if l.startswith("[wmain][440]")]
        if walked != roots:
            problems.append("roots %r, expected %r" % (walked, roots))
        if "Roots:%d," % len(roots) not in log:
            problems.append("the summary does not count %d roots" % len(roots))
        if line and line not in log:
            problems.append("the log lacks %r" % line)
        if driver.read(os.path.join(prefix.d, "Data", "infected.exe")) != infected:
            problems.append("the infected file changed")
        ok &= checks.report("wine: " + name, problems)
    os.unlink(prefix.log_path())
    res = prefix.run_scan(timeout=300, args=["/check", "Q:\\nothing"])
    problems = [] if res.returncode == 2 else ["exit status %d" % res.returncode]
    if b"ZQCindervane: cannot scan Q:\\nothing: it could not be found (error " not in res.stderr:
        problems.append("standard error %r" % res.stderr)
    if res.stdout or os.path.exists(prefix.log_path()):
        problems.append("a scan ran: %r" % res.stdout)
    ok &= checks.report("wine: a missing path", problems)
    return ok


def main():
    args = driver.driver_arguments(("program", "druquara", "zqsample", "wine", "wineserver",
                                    "work"))
    driver.wine_start(args)
    checks.clear_kept_logs(args.work)
    ok = True
    for number, case in enumerate(CASES, 1):
        ok &= run_in_prefix(args, "prefix%d" % number, functools.partial(check_case, case))
    ok &= run_in_prefix(args, "prefix_switches", check_switches_and_drives)
    ok &= run_in_prefix(args, "prefix_named", check_named_roots)
    driver.finish(ok)


if __name__ == "__main__":
    main()

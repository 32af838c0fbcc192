#!/usr/bin/env python3
"""End-to-end under Wine: the stand-in quarantine library inside the scanned tree.

usage: e2e_standin_wine.py --program EXE --druquara DLL --zqrestore EXE
                           --zqsample EXE --wine W --wineserver WS --work DIR

A prefix as in e2e_wine.py, with two drives: C: holds the Windows directory
(a link, never entered), the program in ".zq" and the common data tree with
its infected files; D: holds the suite in the ordinary folder "suite", which
the scan walks: the library, zqrestore.exe and its "Quarantine" folder (there
from an earlier run). C: is walked first, so every backup exists before the
walk reaches the quarantine. Then: the whole console and log as usual, no
path below the quarantine examined, one backup per infected file, and each
backup restored by zqrestore.exe byte for byte to the file as it was.
"""
import os
import pwd
import shutil
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_wine as wine  # noqa: E402
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
import zq_standin as standin  # noqa: E402
from zq_population import populate_data  # noqa: E402
from zq_tree import Expect, Result, Tree  # noqa: E402

QUARANTINE = ("suite", "security", "zebscan", "Quarantine")


def windows_path(prefix, host_path):
    """The program's name for a host path on C: or D:."""
    for letter, folder in (("C:", prefix.c), ("D:", prefix.d)):
        rel = os.path.relpath(host_path, folder)
        if not rel.startswith(".."):
            return letter + "\\" + rel.replace("/", "\\")
    raise checks.Failure("not on a drive of the prefix: %s" % host_path)


def check(args, prefix):
    t0 = time.time()
    samples = args.samples
    tree = Tree("\\", wine.gbk, wine.from_gbk)
    c = tree.add_drive("C:", prefix.c)
    d = tree.add_drive("D:", prefix.d)

    tree.link(c, "windows", prefix.fixture_windows, lines=[])
    tree.folder(c, (".zq",))
    shutil.copy2(args.program, os.path.join(prefix.c, ".zq", "ZQCindervane.exe"))
    user = pwd.getpwuid(os.getuid()).pw_name
    for sub in ("Local", "Roaming"):
        tree.folder(c, ("users", user, "AppData", sub))
    quarantined = populate_data(tree, c, "data", samples, big=False)

    # The suite on D:, walked after every infected file on C:. zqrestore.exe
    # is an image (examined, Safe); the library is a DLL (not examined).
    with open(args.druquara, "rb") as f:
        tree.file(d, "suite/security/zebscan/druquara.dll", f.read())
    with open(args.zqrestore, "rb") as f:
        tree.file(d, "suite/security/zebscan/zqrestore.exe", f.read(), Expect.IMAGE, Result.SAFE)
    tree.folder(d, QUARANTINE)

    prefix.set_install_path("D:\\suite")
    checks.log("  tree ready %.1fs" % (time.time() - t0))

    before = tree.snapshot()
    res = prefix.run_scan(timeout=1200)
    checks.log("  program ran %.1fs" % (time.time() - t0))
    after = tree.snapshot()

    folder = os.path.join(prefix.d, *QUARANTINE)
    problems, log_lines = checks.verdict(
        tree, res, prefix.log_path(), init_lines=[], object_ready=True,
        pause_text=wine.PAUSE_TEXT, console_eol=b"\r\n", snapshots=(before, after),
        quarantine_dirs=[(1, os.path.join(*QUARANTINE))],
        allowed_new={(0, os.path.join(".zq", "ZQCindervane.log"))}, infected=quarantined,
        records_folder=folder)
    problems += standin.check_quarantine_unseen(tree, d, QUARANTINE, log_lines)

    exe = windows_path(prefix, os.path.join(prefix.d, "suite", "security", "zebscan",
                                            "zqrestore.exe"))

    def restore(backup, out):
        return prefix.wine(exe, windows_path(prefix, backup), windows_path(prefix, out),
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)

    problems += standin.check_backups_restore(folder, quarantined, restore,
                                              os.path.join(prefix.c, ".restored"))
    checks.log("  restored %.1fs" % (time.time() - t0))
    return checks.report("wine: stand-in library inside the scanned tree", problems)


def main():
    args = driver.driver_arguments(("program", "druquara", "zqrestore", "zqsample", "wine",
                                    "wineserver", "work"))
    driver.wine_start(args)
    driver.finish(wine.run_in_prefix(args, "standin", check))


if __name__ == "__main__":
    main()

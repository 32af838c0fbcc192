#!/usr/bin/env python3
"""End-to-end (Linux): the stand-in quarantine library inside the scanned tree.

usage: e2e_standin_native.py --program P --druquara LIB --zqrestore R
                             --zqsample Z --work DIR

As e2e_native.py (an ext4 image, chrooted, in a private mount namespace), but
the suite lies in the ordinary folder /suite, which the scan walks, with the
library, zqrestore and its "Quarantine" folder (there from an earlier run).
The image has linear folders (no dir_index), so a folder lists its entries in
the order they were made: the infected files come first and are backed up
before the walk reaches the quarantine. Then: the whole console and log as
usual, no path below the quarantine examined, one backup per infected file,
and each backup restored by zqrestore byte for byte to the file as it was.

Needs root, unshare and loop devices; exits 77 (skipped) otherwise.
"""
import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_native as native  # noqa: E402
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
import zq_isolated as isolated  # noqa: E402
import zq_standin as standin  # noqa: E402
from zq_population import populate_data  # noqa: E402
from zq_tree import Expect, Tree  # noqa: E402

QUARANTINE = ("suite", "security", "zebscan", "Quarantine")


def check(args, libs, loader, vol):
    t0 = time.time()
    root = vol.mnt
    tree = Tree("/", os.fsencode, checks.decode)
    drive = tree.add_drive("", root)
    samples = args.samples

    # Made first, so listed (and backed up) before the suite.
    quarantined = populate_data(tree, drive, "data", samples, big=False)

    zq = isolated.install_program(root, args.program, libs, loader)
    tree.folder(drive, (".zq",))
    tree.file(drive, "etc/Morlane/QRVCommon", b"ProgramPath=/suite\n")

    # The suite last: its library and zqrestore are no images here.
    for name, source in (("druquara.so", args.druquara), ("zqrestore", args.zqrestore)):
        with open(source, "rb") as f:
            tree.file(drive, "suite/security/zebscan/" + name, f.read())
    tree.folder(drive, QUARANTINE)

    for _, where in isolated.SYSTEM_MOUNTS:
        tree.folder(drive, tuple(where.split("/")), expect=Expect.SILENT)
    vol.mount_system()

    before = tree.snapshot()
    res = subprocess.run(isolated.program_command(root), stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    checks.log("  program ran %.1fs" % (time.time() - t0))
    vol.unmount_inside()
    after = tree.snapshot()

    folder = os.path.join(root, *QUARANTINE)
    problems, log_lines = checks.verdict(
        tree, res, os.path.join(zq, isolated.LOG), init_lines=[], object_ready=True,
        pause_text=native.PAUSE_TEXT, console_eol=b"\n", readdir_order=True,
        snapshots=(before, after), quarantine_dirs=[(0, os.path.join(*QUARANTINE))],
        allowed_new={(0, ".zq/ZQCindervane.log")}, infected=quarantined, records_folder=folder)
    problems += standin.check_quarantine_unseen(tree, drive, QUARANTINE, log_lines)

    def restore(backup, out):
        return subprocess.run([args.zqrestore, backup, out], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT)

    problems += standin.check_backups_restore(folder, quarantined, restore,
                                              os.path.join(args.work, "restored"))
    return checks.report("native: stand-in library inside the scanned tree", problems)


def main():
    args = driver.driver_arguments(("program", "druquara", "zqrestore", "zqsample", "work"))
    libs, loader = driver.native_start(args, __file__, [args.druquara])
    vol = isolated.Volume(args.work, "standin", 200, mkfs_options=("-O", "^dir_index"))
    try:
        ok = check(args, libs, loader, vol)
    finally:
        vol.close()
    driver.finish(ok)


if __name__ == "__main__":
    main()

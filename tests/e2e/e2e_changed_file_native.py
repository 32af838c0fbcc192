#!/usr/bin/env python3
"""End-to-end: a quarantine library that changes the file it is given (Linux).

usage: e2e_changed_file_native.py --program P --changer LIB --zqsample Z --work DIR

The suite's library is the test library druquara_changer: its quarantine
call changes the infected file (or its folder) between the program's check
and its repair, as another process might. Each mode runs the real program
chrooted on a small test volume in a private mount namespace (as
e2e_native.py does) and checks that the scan ends normally, that nothing the
repair did not verify was written, that the changed file is not reported
"Is Fix", and that a file reached only through a link is untouched.

Needs root, unshare and loop devices; exits 77 (skipped) where the machine
does not allow them.
"""
import os
import re
import stat
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_native as native  # noqa: E402
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
import zq_isolated as isolated  # noqa: E402
from zq_driver import read, write  # noqa: E402

CHANGED_LINE = "File changed since it was checked, nothing written"
WINDOW_BYTE = 1024 + 500  # the byte the library's "overwrite" flips


def results(console):
    """{path: result word} from the console's "Path:...\\tResult:..." lines."""
    return dict(re.findall(r"Path:([^\t\n]*)\tResult:([^\n]*)\n", checks.decode(console)))


def run_mode(mode, args, libs, loader):
    vol = isolated.Volume(args.work, "changed", 64)
    try:
        return check_mode(mode, args, libs, loader, vol)
    finally:
        vol.close()


def check_mode(mode, args, libs, loader, vol):
    root = vol.mnt
    samples = args.samples
    zq = isolated.install_program(root, args.program, libs, loader)

    zebscan = isolated.install_suite(root, args.changer)
    outside = "/.outside/other.exe"  # an infected file the scan never walks to
    word = mode + (" " + outside if mode in ("link", "links") else "")
    write(os.path.join(zebscan, "changer.txt"), (word + "\n").encode())

    infected, host = samples.infected(samples.pe(5000, seed=50), "--seed", 50)
    other, _ = samples.infected(samples.pe(4500, seed=51), "--seed", 51)
    clean = samples.pe(3000, seed=52)
    write(root + outside, other)
    write(os.path.join(root, "data", "infected.exe"), infected)
    # The folder's other files, which "fifos" and "links" replace.
    write(os.path.join(root, "data", "clean.exe"), clean)
    write(os.path.join(root, "data", "second.exe"), samples.pe(4000, seed=53))
    write(os.path.join(root, "data", "notes.txt"), b"not an image\n")

    # An infected file of another filesystem (tmpfs) bound into the folder:
    # not a file of the walked filesystem, so never opened or written.
    bound_source = os.path.join(args.work, "bound_tmpfs")
    os.makedirs(bound_source, exist_ok=True)
    isolated.run("mount", "-t", "tmpfs", "tmpfs", bound_source)
    bound_file = os.path.join(bound_source, "bound.exe")
    bound, _ = samples.infected(samples.pe(4200, seed=54), "--seed", 54)
    write(bound_file, bound)
    write(os.path.join(root, "data", "bound.exe"), b"")
    isolated.run("mount", "--bind", bound_file, os.path.join(root, "data", "bound.exe"))
    vol.mounted.append(os.path.join(root, "data", "bound.exe"))
    try:
        return run_program(mode, args, vol, root, zq, outside, other, infected, host,
                           bound_file, bound)
    finally:
        isolated.run("umount", bound_source)


def run_program(mode, args, vol, root, zq, outside, other, infected, host, bound_file, bound):
    vol.mount_system()
    try:
        res = subprocess.run(isolated.program_command(root), stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    except subprocess.TimeoutExpired:
        vol.unmount_inside()
        return checks.report("changed file (native): " + mode, ["the scan did not end"])
    vol.unmount_inside()

    problems, log_lines = checks.run_problems(res, os.path.join(zq, isolated.LOG), checks.decode)
    if not res.stdout.endswith(b"End Scanning..." + native.PAUSE_TEXT):
        problems.append("the scan did not end normally: %r" % res.stdout[-200:])
    shown = results(res.stdout)
    target = os.path.join(root, "data", "infected.exe")

    if read(root + outside) != other:
        problems.append("the file reached only through a link was changed")
    if read(bound_file) != bound or shown.get("/data/bound.exe") is not None:
        problems.append("the file of another filesystem was examined or changed")
    # The walk passes over the mount itself where the kernel gives mount IDs
    # (line 298); elsewhere the open refuses the file of another filesystem.
    passed_over = ("[ScanFolder][298]Mount inside the walk, not scanned:/data/bound.exe"
                   in log_lines)
    refused = "[CommFunc::IsFilePE][66]Call CreateFile failed: 18" in log_lines
    if mode not in ("fifos", "links") and not (passed_over or refused):
        problems.append("the file of another filesystem was neither passed over (298) "
                        "nor refused at its open (EXDEV)")
    if mode in ("overwrite", "truncate", "link"):
        if shown.get("/data/infected.exe") != "Error":
            problems.append("changed file reported %r, not Error"
                            % shown.get("/data/infected.exe"))
    if mode == "overwrite":
        want = bytearray(infected)
        want[WINDOW_BYTE] ^= 0x01
        if read(target) != bytes(want):
            problems.append("the overwritten file was written by the repair")
        if CHANGED_LINE not in log_lines:
            problems.append("no line saying the file changed since it was checked")
    elif mode == "truncate":
        if read(target) != infected[:3000]:
            problems.append("the truncated file was written by the repair")
    elif mode == "link":
        if not os.path.islink(target):
            problems.append("the link put in the file's place is gone")
        if "Call CreateFile failed: 0x28" not in log_lines:
            problems.append("no refused open (ELOOP) of the link")
    else:
        # The infected file itself was not changed: it is repaired.
        if shown.get("/data/infected.exe") != "Is Fix" or read(target) != host:
            problems.append("the unchanged infected file was not repaired")
        for name in ("clean.exe", "second.exe", "notes.txt"):
            path = os.path.join(root, "data", name)
            mode_bits = os.lstat(path).st_mode
            want_kind = stat.S_ISFIFO if mode == "fifos" else stat.S_ISLNK
            if not want_kind(mode_bits):
                problems.append("%s was not replaced" % name)
    return checks.report("changed file (native): " + mode, problems)


def main():
    args = driver.driver_arguments(("program", "changer", "zqsample", "work"))
    libs, loader = driver.native_start(args, __file__, [args.changer])
    ok = True
    for mode in ("overwrite", "truncate", "link", "fifos", "links"):
        ok &= run_mode(mode, args, libs, loader)
    driver.finish(ok)


if __name__ == "__main__":
    main()

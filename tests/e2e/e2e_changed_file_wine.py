#!/usr/bin/env python3
"""End-to-end under Wine: a quarantine library that changes its file.

The library changes the file it is given between the program's check and its
repair.

usage: e2e_changed_file_wine.py --program EXE --changer DLL --zqsample EXE
                                --wine W --wineserver WS --work DIR

Runs in the environment of the build's Wine fixture, with a prefix of its own
per mode (as e2e_wine.py makes them): C: holds the program and the suite,
whose library is the test library druquara_changer; D: holds an infected
file and a clean one. Modes "overwrite" (one window byte changed in place,
the trailer still valid) and "truncate" (cut to 3000 bytes): the scan ends
normally, the changed file is reported "Error" and holds exactly what the
library left, and the clean file is untouched.
"""
import functools
import os
import shutil
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_wine as wine  # noqa: E402
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
from zq_driver import read, write  # noqa: E402

CHANGED_LINE = "File changed since it was checked, nothing written"
WINDOW_BYTE = 1024 + 500  # the byte the library's "overwrite" flips


def check_mode(mode, args, prefix):
    samples = args.samples
    # Wine's own Windows folder (the Windows directory, never entered).
    os.symlink(prefix.fixture_windows, os.path.join(prefix.c, "windows"))
    os.makedirs(os.path.join(prefix.c, ".zq"))
    shutil.copy2(args.program, os.path.join(prefix.c, ".zq", "ZQCindervane.exe"))
    zebscan = os.path.join(prefix.c, ".suite", "security", "zebscan")
    os.makedirs(zebscan)
    shutil.copy2(args.changer, os.path.join(zebscan, "druquara.dll"))
    write(os.path.join(zebscan, "changer.txt"), (mode + "\r\n").encode())

    infected, _ = samples.infected(samples.pe(5000, seed=60), "--seed", 60)
    clean = samples.pe(3000, seed=61)
    target = os.path.join(prefix.d, "data", "infected.exe")
    write(target, infected)
    write(os.path.join(prefix.d, "data", "clean.exe"), clean)

    prefix.set_install_path("C:\\.suite")
    res = prefix.run_scan(timeout=900)

    problems, log_lines = checks.run_problems(res, prefix.log_path(), wine.from_gbk,
                                              stderr_checked=False)
    if b"End Scanning..." not in res.stdout:
        problems.append("the scan did not end normally: %r" % res.stdout[-200:])
    if b"Path:D:\\data\\infected.exe\tResult:Error\r\n" not in res.stdout:
        problems.append("the changed file is not reported Error: %r" % res.stdout[-400:])
    if read(os.path.join(prefix.d, "data", "clean.exe")) != clean:
        problems.append("the clean file changed")
    if mode == "overwrite":
        want = bytearray(infected)
        want[WINDOW_BYTE] ^= 0x01
        if read(target) != bytes(want):
            problems.append("the overwritten file was written by the repair")
        if CHANGED_LINE not in log_lines:
            problems.append("no line saying the file changed since it was checked")
    elif read(target) != infected[:3000]:
        problems.append("the truncated file was written by the repair")
    return checks.report("changed file (wine): " + mode, problems)


def main():
    args = driver.driver_arguments(("program", "changer", "zqsample", "wine", "wineserver",
                                    "work"))
    driver.wine_start(args)
    ok = True
    for number, mode in enumerate(("overwrite", "truncate"), 1):
        ok &= wine.run_in_prefix(args, "changed%d" % number, functools.partial(check_mode, mode))
    driver.finish(ok)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""End-to-end under Wine: standard output closed in the middle of a scan.

usage: e2e_console_closed_wine.py --program EXE --druquara-wait DLL
                                  --zqsample EXE --wine W --wineserver WS
                                  --work DIR

Runs in the environment of the build's Wine fixture, with a prefix of its own
(as e2e_wine.py makes them) and three drives: C: holds the program, the suite
and clean images, D: one infected file, E: clean images the scan must never
reach. The suite's library is the test library druquara_wait, which holds
the scan inside the infected file until the test lets it go. Meanwhile the
test reads some 300 bytes of the program's standard output (a pipe) and
closes its end. Then the program's next console line fails: the scan ends as
interrupted by "console closed". The infected file is repaired whole and has
both its log lines, the log ends with line 443 and the summary (no
"End..."), E: is never started, and the program ends with 0xC000013A
(STATUS_CONTROL_C_EXIT; Wine hands its low byte, 58, to Linux).
"""
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_wine as wine  # noqa: E402
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
from zq_driver import read, write  # noqa: E402

READ_BYTES = 300
CLEAN_ON_C = 12  # their console lines fill more than READ_BYTES
STATUS_CONTROL_C_EXIT_LOW_BYTE = 0x3A
INFECTED_RESULT = "[ScanFolder][334]Path:D:\\infected.exe, Result:2"


def check(args, prefix):
    samples = args.samples
    os.symlink(prefix.fixture_windows, os.path.join(prefix.c, "windows"))
    e = os.path.join(prefix.dir, "E")
    os.makedirs(e)
    os.symlink(e, os.path.join(prefix.dir, "dosdevices", "e:"))
    os.makedirs(os.path.join(prefix.c, ".zq"))
    shutil.copy2(args.program, os.path.join(prefix.c, ".zq", "ZQCindervane.exe"))
    library = os.path.join(prefix.c, ".suite", "security", "zebscan")
    os.makedirs(library)
    shutil.copy2(args.druquara_wait, os.path.join(library, "druquara.dll"))
    for i in range(CLEAN_ON_C):
        write(os.path.join(prefix.c, "data", "clean%02d.exe" % i), samples.pe(3000 + i, seed=i))
    infected, host = samples.infected(samples.pe(4100, seed=70), "--seed", 70)
    target = os.path.join(prefix.d, "infected.exe")
    write(target, infected)
    for i in range(5):
        write(os.path.join(e, "later", "clean%d.exe" % i), samples.pe(3100 + i, seed=80 + i))
    prefix.set_install_path("C:\\.suite")

    problems = []
    stderr_path = os.path.join(prefix.dir, "stderr.txt")
    with open(stderr_path, "wb") as stderr:
        proc = subprocess.Popen([args.wine, "C:\\.zq\\ZQCindervane.exe"], env=prefix.env,
                                cwd=prefix.c, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=stderr)
    if not driver.wait_for_hold(library, proc, timeout=600, poll=0.05):
        problems.append("the scan never reached the infected file")
    # Everything before the infected file was flushed line by line: the
    # pipe holds more than READ_BYTES now.
    seen = b""
    while len(seen) < READ_BYTES:
        chunk = os.read(proc.stdout.fileno(), READ_BYTES - len(seen))
        if not chunk:
            break
        seen += chunk
    proc.stdout.close()
    driver.release_hold(library)
    try:
        proc.wait(timeout=600)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        problems.append("the program did not end after its console closed")

    if not seen.startswith(b"Start Scanning...Path:C:\\data\\clean"):
        problems.append("console did not start with the clean images of C: %r" % seen[:80])
    if len(seen) < READ_BYTES:
        problems.append("only %d bytes on standard output before the hold" % len(seen))
    if proc.returncode != STATUS_CONTROL_C_EXIT_LOW_BYTE:
        problems.append("exit status %d, not STATUS_CONTROL_C_EXIT's %d" %
                        (proc.returncode, STATUS_CONTROL_C_EXIT_LOW_BYTE))
    log_lines, log_problems = checks.read_log(
        os.path.join(prefix.c, ".zq", "ZQCindervane.log"), wine.from_gbk)
    problems += log_problems
    if INFECTED_RESULT not in log_lines:
        problems.append("the infected file has no result line: %r" % log_lines[-6:])
    else:
        at = log_lines.index(INFECTED_RESULT)
        if log_lines[at - 1] != "[ScanFolder][309]Start Scanning File:D:\\infected.exe":
            problems.append("the infected file's line 309 is not right before its result: %r" %
                            log_lines[at - 2:at + 1])
        ending = ["Summary..." if line.startswith("Summary...") else line
                  for line in log_lines[at + 1:]]
        problems += checks.diff("log after the infected file", [
            "[wmain][443]Scan interrupted (console closed), ending before the next file",
            "Summary..."], ending)
    if any(line.startswith("[wmain][440]Start Scanning Folder:E:") or "E:\\later" in line
           for line in log_lines):
        problems.append("the scan went on to E: after its console closed")
    if read(target) != host:
        problems.append("the infected file is not repaired whole")
    if problems:
        problems.append("standard error: %r" % read(stderr_path)[:500])
    return checks.report("console closed (wine)", problems)


def main():
    args = driver.driver_arguments(("program", "druquara-wait", "zqsample", "wine",
                                    "wineserver", "work"))
    driver.wine_start(args)
    driver.finish(wine.run_in_prefix(args, "console_closed", check))


if __name__ == "__main__":
    main()

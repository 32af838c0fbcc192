#!/usr/bin/env python3
"""End-to-end: how a run of the real Linux program ends when it does not end
by itself.

usage: e2e_ending_native.py --program P --druquara-wait LIB --zqsample Z --work DIR

Cases, each on a test volume of its own, the program chrooted there as in
e2e_native.py:
- "console closed": standard output is read for 300 bytes and then closed
  (`| head`, a dropped ssh session). No signal kills the run: the file in
  hand finishes with both its log lines, then the interrupted ending
  (line 443 "console closed" and the summary, no "End..."), and the program
  ends by SIGPIPE's default action once its log is complete.
- "killed run": a run killed with SIGKILL leaves its logging switch in
  /dev/shm; the next run removes it, and leaves nothing of its own.

Needs root, unshare and loop devices; exits 77 (skipped) otherwise.
"""
import os
import re
import signal
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
import zq_isolated as isolated  # noqa: E402

SWITCH = re.compile(r"^BFD88F2D-0990-4de4-AD0F-764F5894389A-(\d+)$")


def messages(path):
    lines, problems = checks.read_log(path, checks.decode)
    return lines, problems


def console_closed(args, libs, loader):
    vol = isolated.Volume(args.work, "closed", 64)
    try:
        root = vol.mnt
        zq = isolated.install_program(root, args.program, libs, loader)
        data = os.path.join(root, "data")
        os.makedirs(data)
        # Far more console text than a pipe holds, so the program is still
        # writing when the pipe closes.
        for i in range(3000):
            with open(os.path.join(data, "clean%04d.exe" % i), "wb") as f:
                f.write(args.samples.host_image(600 + i % 50, seed=i))
        vol.mount_system()
        proc = subprocess.Popen(isolated.program_command(root), stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        head = proc.stdout.read(300)
        proc.stdout.close()
        problems = []
        try:
            err = proc.stderr.read()
            proc.wait(timeout=120)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            problems.append("the program did not end after its console closed")
            err = b""
        vol.unmount_inside()

        if len(head) < 300:
            problems.append("the console gave only %d bytes" % len(head))
        if proc.returncode != -signal.SIGPIPE:
            problems.append("exit status %d, not the end of a closed console (SIGPIPE)" %
                            proc.returncode)
        if err:
            problems.append("standard error: %r" % err[:300])
        lines, log_problems = messages(os.path.join(zq, isolated.LOG))
        problems += log_problems
        ending = ["[wmain][443]Scan interrupted (console closed), ending before the next file"]
        if lines[-2:-1] != ending or not lines[-1].startswith("Summary..."):
            problems.append("log ending: %r" % lines[-3:])
        if "End..." in lines:
            problems.append("an interrupted run wrote End...")
        # The file in hand when the console closed has both its lines, and
        # nothing is logged for a file after it.
        body = lines[:-2]
        results = [l for l in body if l.startswith("[ScanFolder][334]")]
        starts = [l for l in body if l.startswith("[ScanFolder][309]")]
        if not results or len(results) != len(starts):
            problems.append("%d files started, %d results: the last file lacks a line" %
                            (len(starts), len(results)))
        elif body[-1] != results[-1]:
            problems.append("the log goes on after the last result: %r" % body[-1])
        if len(results) >= 3000:
            problems.append("the scan ran to its end: the pipe never closed on it")
        return checks.report("native: console closed mid-scan", problems)
    finally:
        vol.close()


def switches(root):
    folder = os.path.join(root, "dev", "shm")
    return sorted(int(m.group(1)) for m in (SWITCH.match(n) for n in os.listdir(folder)) if m)


def killed_run(args, libs, loader):
    vol = isolated.Volume(args.work, "killed", 64)
    try:
        root = vol.mnt
        isolated.install_program(root, args.program, libs, loader)
        library = isolated.install_suite(root, args.druquara_wait)
        os.makedirs(os.path.join(root, "data"))
        infected, _ = args.samples.infected(args.samples.pe(4100, seed=41), "--seed", 41)
        with open(os.path.join(root, "data", "infected.exe"), "wb") as f:
            f.write(infected)
        vol.mount_system()
        problems = []

        # The quarantine library holds the first run inside the infected
        # file; it is killed there.
        proc = subprocess.Popen(isolated.program_command(root), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        driver.wait_for_hold(library, proc, timeout=120, poll=0.01)
        left = switches(root)
        proc.kill()
        proc.wait()
        if not left:
            problems.append("no logging switch while the first run was held")
        elif switches(root) != left:
            problems.append("switches changed by the kill: %r" % switches(root))

        # The next run passes the library at once and ends as usual.
        driver.release_hold(library)
        res = subprocess.run(isolated.program_command(root), stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=120)
        if res.returncode != 0:
            problems.append("the second run ended with %d: %r" % (res.returncode, res.stderr))
        if switches(root):
            problems.append("logging switches left behind: %r" % switches(root))
        vol.unmount_inside()
        return checks.report("native: a killed run's switch is removed by the next", problems)
    finally:
        vol.close()


def main():
    args = driver.driver_arguments(("program", "druquara-wait", "zqsample", "work"))
    libs, loader = driver.native_start(args, __file__, [args.druquara_wait])
    ok = console_closed(args, libs, loader)
    ok &= killed_run(args, libs, loader)
    driver.finish(ok)


if __name__ == "__main__":
    main()

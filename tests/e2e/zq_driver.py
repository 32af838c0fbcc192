"""The frame every end-to-end driver shares.

Its switches, its start (the skip where the machine cannot run it, the work
folder, the samples), the hold of the test library druquara_wait, whole
files written and read, and its exit status. The Wine prefix of one case
is e2e_wine.run_in_prefix.
"""
import argparse
import os
import sys
import time

import zq_checks as checks
import zq_isolated as isolated
from zq_samples import Samples

# Programs that may be names looked up on PATH: kept as given.
PROGRAMS_ON_PATH = ("wine", "wineserver")


def driver_arguments(names, optional=()):
    """The driver's switches, "--NAME VALUE" for each of `names` (each
    required) and `optional`, in that order; the files and folders they
    name made absolute (the drivers change folders)."""
    ap = argparse.ArgumentParser()
    for name in names:
        ap.add_argument("--" + name, required=True)
    for name in optional:
        ap.add_argument("--" + name)
    args = ap.parse_args()
    for name in (*names, *optional):
        attr = name.replace("-", "_")
        if name in PROGRAMS_ON_PATH or (name in optional and not getattr(args, attr)):
            continue
        setattr(args, attr, os.path.abspath(getattr(args, attr)))
    return args


def wine_start(args):
    """Skips the test outside CTest, whose fixture prepares the Wine prefix;
    makes the work folder and `args.samples` (zqsample.exe under Wine)."""
    if "WINEPREFIX" not in os.environ:
        checks.log("SKIP: run through CTest, which prepares the Wine prefix (WINEPREFIX unset)")
        sys.exit(checks.SKIP)
    os.makedirs(args.work, exist_ok=True)
    args.samples = Samples([args.wine, args.zqsample], os.path.join(args.work, "samples"))


def native_start(args, script, libraries=()):
    """Re-runs `script` (the calling driver) in a private mount namespace, or
    skips the test (see isolated.enter_namespace); makes the work folder and
    `args.samples`. Returns (libs, loader): what the program and the
    `libraries` load."""
    isolated.enter_namespace(script)
    os.makedirs(args.work, exist_ok=True)
    libs, loader = isolated.needed_libraries(args.program, *libraries)
    args.samples = Samples([args.zqsample], os.path.join(args.work, "samples"))
    return libs, loader


def finish(ok):
    sys.exit(0 if ok else 1)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def wait_for_hold(library, proc, timeout, poll):
    """Waits until the test library druquara_wait in the folder `library`
    holds the scan inside a file (it makes "waiting" there), `proc` has ended
    or `timeout` seconds have passed; every `poll` seconds. Returns whether
    the library holds the scan."""
    waiting = os.path.join(library, "waiting")
    deadline = time.time() + timeout
    while not os.path.exists(waiting) and proc.poll() is None and time.time() < deadline:
        time.sleep(poll)
    return os.path.exists(waiting)


def release_hold(library):
    """Lets the scan that druquara_wait holds go on (the file "go")."""
    open(os.path.join(library, "go"), "wb").close()

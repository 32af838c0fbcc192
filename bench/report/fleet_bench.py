#!/usr/bin/env python3
"""Fleet benchmark of zqreport: a generated fleet as the play leaves it in
fetched/ (every host a check run and the repair after it, each log
compressed in a time folder of its own: gzip for Linux hosts, a zip for
Windows hosts), reported on the way the play does (table, HTML, CSV, JSON).
Prints the log text read, the time taken, the throughput per core (log text
over the report's CPU time) and the report's peak memory.

usage: bench/report/fleet_bench.py [--hosts N] [--scale F] [--work DIR] [--runs R]
                                   [--zqreport PATH] [--keep]

  --hosts N   hosts in the fleet (default 1000)
  --scale F   log sizes times F (default 1: a tenth of the hosts log 65 MB a
              run, three tenths 25 MB, the rest 8 MB, like the workstations
              and servers of a real fleet; about 40 GB of log text for 1000
              hosts)
  --work DIR  where the fleet is made (default ${TMPDIR:-/var/tmp}/zq-bench/
              report-fleet); its logs are made once per size and kind and
              hard-linked to every host, so the fleet takes the room of a
              dozen compressed logs
  --runs R    timed reports (default 1); the best is shown
  --keep      keep the fleet for the next run

The target: at least 50 MB/s of log text per core, and peak memory that does
not grow with the size of a log.
"""
import argparse
import gzip
import os
import shutil
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from fleet_logs import log_chunks  # noqa: E402

MB = 1000 * 1000
# (share of the hosts, log size of one run in bytes)
SIZES = ((0.1, 65 * MB), (0.3, 25 * MB), (0.6, 8 * MB))
# A host in twenty has infected files: found by the check, repaired after.
INFECTED_EVERY = 20
CHECK_AT, REPAIR_AT = 4 * 3600 * 1000, 7 * 3600 * 1000


def make_log(path, size, windows, check, infected, seed):
    """One compressed log; returns the bytes of its text."""
    chunks = log_chunks(size, seed=seed, windows=windows, check=check, infected=infected,
                        start_ms=CHECK_AT if check else REPAIR_AT)
    text = 0
    if windows:
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z, \
                z.open("ZQCindervane.log", "w", force_zip64=True) as f:
            for c in chunks:
                f.write(c)
                text += len(c)
    else:
        with gzip.open(path, "wb", compresslevel=6) as f:
            for c in chunks:
                f.write(c)
                text += len(c)
    return text


def make_fleet(work, hosts, scale):
    """fetched/<host>/<time>/ZQCindervane.log.gz (or .log.zip) of every
    host; returns (bytes of log text, bytes compressed)."""
    logs = os.path.join(work, "logs")
    fetched = os.path.join(work, "fetched")
    shutil.rmtree(fetched, ignore_errors=True)
    os.makedirs(logs, exist_ok=True)
    made = {}
    text = packed = 0
    for n in range(hosts):
        share = (n * 7919 % hosts) / hosts  # spread the sizes over the names
        size = next(s for cumulative, s in _cumulative() if share < cumulative)
        size = max(1, int(size * scale))
        windows = n % 4 != 3  # three hosts in four run Windows
        infected = 3 if n % INFECTED_EVERY == 0 else 0
        for check, folder in ((True, "20261206T040000Z"), (False, "20261206T070000Z")):
            key = (size, windows, check, infected)
            name = "%d-%s-%s-%d.log%s" % (size, "win" if windows else "linux",
                                          "check" if check else "repair", infected,
                                          ".zip" if windows else ".gz")
            source = os.path.join(logs, name)
            if key not in made:
                if not os.path.exists(source + ".text"):
                    size_text = make_log(source, size, windows, check, infected, seed=len(made))
                    with open(source + ".text", "w") as f:
                        f.write(str(size_text))
                with open(source + ".text") as f:
                    made[key] = (source, int(f.read()))
            source, size_text = made[key]
            dest = os.path.join(fetched, "host-%04d" % n, folder)
            os.makedirs(dest)
            os.link(source, os.path.join(dest, "ZQCindervane.log" +
                                         (".zip" if windows else ".gz")))
            text += size_text
            packed += os.path.getsize(source)
    return fetched, text, packed


def _cumulative():
    total = 0.0
    for share, size in SIZES:
        total += share
        yield total, size


def report(zqreport, fetched, out):
    """(seconds, CPU seconds, peak resident bytes, exit code) of one report."""
    start = time.monotonic()
    proc = subprocess.Popen([sys.executable, zqreport, fetched, "--html", out + ".html",
                             "--csv", out + ".csv", "--json", out + ".json"],
                            stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    return (seconds, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024,
            os.waitstatus_to_exitcode(status))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--hosts", type=int, default=1000)
    ap.add_argument("--scale", type=float, default=1.0)
    ap.add_argument("--work", default=os.path.join(os.environ.get("TMPDIR", "/var/tmp"),
                                                   "zq-bench", "report-fleet"))
    ap.add_argument("--runs", type=int, default=1)
    ap.add_argument("--zqreport", default=os.path.join(HERE, "..", "..", "tools", "report",
                                                       "zqreport"))
    ap.add_argument("--keep", action="store_true")
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    start = time.monotonic()
    fetched, text, packed = make_fleet(args.work, args.hosts, args.scale)
    print("fleet: %d hosts, %d logs, %.2f GB of log text, %.2f GB compressed (made in %.0f s)"
          % (args.hosts, 2 * args.hosts, text / 1e9, packed / 1e9, time.monotonic() - start))
    best = None
    for _ in range(args.runs):
        result = report(args.zqreport, fetched, os.path.join(args.work, "report"))
        if result[3] not in (0, 1):
            sys.exit("zqreport failed with exit code %d" % result[3])
        if best is None or result[1] < best[1]:
            best = result
    seconds, cpu, peak, _ = best
    print("zqreport: %.1f s (%.1f s of CPU), %.1f MB/s of log text per core, %.1f MB/s "
          "overall, peak memory %.1f MiB"
          % (seconds, cpu, text / MB / cpu, text / MB / seconds, peak / (1 << 20)))
    print("target: at least 50 MB/s of log text per core: %s"
          % ("met" if text / MB / cpu >= 50 else "NOT met"))
    if not args.keep:
        shutil.rmtree(args.work)


if __name__ == "__main__":
    main()

"""System calls per file and CPU per thread of the program, warm, beside
`limit -S`.

One warm run of each (after a warm-up) under `strace -f -c`: every system
call of every thread, divided by the files the walk meets (those whose path
has no name beginning with "."). One more warm run of each program, without
strace, whose threads' CPU time is read from /proc (schedstat, in
nanoseconds) until it ends: the main thread, the log worker (the first
thread it starts) and the readers (the others, summed).

usage: profile.py CORPUS PROGRAM [ALSO]  (as given to scan_env.py prepare)
"""
import collections
import os
import subprocess
import sys
import tempfile
import time

from scan_env import Scan, bench_tool, floor_view, programs


def files_walked(root):
    count = 0
    for folder, subfolders, files in os.walk(root):
        subfolders[:] = [s for s in subfolders if not s.startswith(".")]
        count += sum(1 for f in files if not f.startswith(".") and
                     os.path.isfile(os.path.join(folder, f)))
    return count


def system_calls(argv, prepare=None):
    """(total calls, {name: calls}) of one run under strace -f -c."""
    if prepare:
        prepare()
    fd, out = tempfile.mkstemp(prefix="strace-")
    os.close(fd)
    try:
        subprocess.run(["strace", "-f", "-c", "-o", out, *argv], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        calls = {}
        with open(out) as f:
            for line in f:
                parts = line.split()
                if len(parts) >= 5 and parts[0][0].isdigit() and parts[-1] != "total":
                    calls[parts[-1]] = int(parts[3])
    finally:
        os.unlink(out)
    return sum(calls.values()), calls


def thread_cpu(argv, prepare=None):
    """{tid: CPU seconds} of one run's threads, the process's own first."""
    if prepare:
        prepare()
    process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    seen = collections.OrderedDict()
    task = "/proc/%d/task" % process.pid
    while process.poll() is None:
        try:
            for tid in sorted(int(t) for t in os.listdir(task)):
                try:
                    with open("%s/%d/schedstat" % (task, tid)) as f:
                        seen[tid] = int(f.read().split()[0]) / 1e9
                except OSError:
                    pass  # ended meanwhile: its last reading stands
        except OSError:
            pass
        time.sleep(0.002)
    return seen


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.split("\n\n")[-1])
    corpus, names = sys.argv[1], programs(sys.argv[2:])
    floor = floor_view(corpus)
    files = files_walked(floor)
    limit = bench_tool("limit", "-lpthread")
    runs = [("limit -S", [limit, "-S", floor], None)]
    for name in names:
        scan = Scan(corpus, name, True)
        runs.append((scan.label, scan.argv(), scan.prepare))
    print("%d files walked; one warm run each (after a warm-up), every log line written" % files)
    print("%-16s %10s %9s  %s" % ("command", "calls", "per file", "most frequent"))
    for label, argv, prepare in runs:
        system_calls(argv, prepare)  # warm-up
        total, calls = system_calls(argv, prepare)
        top = sorted(calls.items(), key=lambda item: -item[1])[:6]
        print("%-16s %10d %9.2f  %s" % (label, total, total / files,
                                         " ".join("%s:%.2f" % (n, c / files) for n, c in top)))
    print()
    print("%-16s %8s %8s %8s %8s %8s" % ("command", "total s", "main s", "log s", "readers s",
                                           "readers"))
    for label, argv, prepare in runs[1:]:
        seen = thread_cpu(argv, prepare)
        values = list(seen.values())
        main_s = values[0] if values else 0.0
        log_s = values[1] if len(values) > 1 else 0.0
        readers = values[2:]
        print("%-16s %8.3f %8.3f %8.3f %8.3f %8d" % (label, sum(values), main_s, log_s,
                                                     sum(readers), len(readers)))


if __name__ == "__main__":
    main()

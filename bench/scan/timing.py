"""Times the program over the benchmark corpus beside the floor commands.

In one run: warm (page cache kept, after one warm-up run of each command) and
cold (page cache dropped before each program), in rounds that each run every
command once in a rotated order. Prints medians, ratios to `limit -S` and peak
memory (largest maximum resident set of each command).

usage: timing.py CORPUS ROUNDS PROGRAM [ALSO]  (as given to scan_env.py
prepare, which installed them in the corpus; each runs with logging on and
off)
"""
import os
import statistics
import subprocess
import sys
import tempfile

from scan_env import Scan, bench_tool, floor_view, programs

BASE = "limit -S"
DROP_CACHES = "/proc/sys/vm/drop_caches"


class Command:
    def __init__(self, label, argv, prepare=None):
        self.label, self.argv, self.prepare = label, argv, prepare
        self.runs = {"warm": [], "cold": []}  # (wall s, cpu s, max RSS KiB)


def commands(corpus, names):
    limit, files = bench_tool("limit", "-lpthread"), floor_view(corpus)
    out = [Command("find -type f", ["find", files, "-type", "f"]),
           Command(BASE, [limit, "-S", files]),
           Command("limit -t 2", [limit, "-t", "2", files])]
    for name in names:
        for logging in (True, False):
            scan = Scan(corpus, name, logging)
            out.append(Command(scan.label, scan.argv(), scan.prepare))
    return out


def drop_caches():
    """Writes back and drops the page cache; the reason when not permitted."""
    os.sync()
    try:
        with open(DROP_CACHES, "w") as f:
            f.write("3\n")
    except OSError as error:
        return str(error)
    return None


def run_once(command, output=os.devnull):
    """(wall seconds, CPU seconds, max RSS KiB) of one run, its standard
    output written to `output`. Measured by runstat: a child of this Python
    process would start with its peak RSS, which Linux keeps across exec."""
    if command.prepare:
        command.prepare()
    fd, stat_path = tempfile.mkstemp(prefix="runstat-")
    os.close(fd)
    try:
        with open(output, "wb") as out:
            subprocess.run([bench_tool("runstat"), stat_path, *command.argv],
                           stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                           check=True)
        with open(stat_path) as f:
            wall, cpu, rss, code = f.read().split()
    finally:
        os.unlink(stat_path)
    if code != "0":
        sys.exit("%s: exit status %s" % (command.label, code))
    return float(wall), float(cpu), int(rss)


def rounds(cmds, count, mode):
    """`count` rounds of every command, each round in a rotated order; cold:
    the page cache dropped before each run. Returns why cold runs are not
    possible, or None."""
    for r in range(count):
        for i in range(len(cmds)):
            command = cmds[(i + r) % len(cmds)]
            if mode == "cold":
                why = drop_caches()
                if why:
                    return why
            command.runs[mode].append(run_once(command))
    return None


def table(cmds, cold_possible):
    base = {mode: statistics.median(w for w, _, _ in next(c for c in cmds
                                                          if c.label == BASE).runs[mode])
            for mode in (("warm", "cold") if cold_possible else ("warm",))}
    head = ("%-28s %9s %7s %7s %8s" % ("command", "warm s", "min", "max", "x " + BASE) +
            (" %9s %8s" % ("cold s", "x " + BASE) if cold_possible else "") +
            " %8s %12s" % ("cpu s", "peak RSS MiB"))
    print(head)
    print("-" * len(head))
    for c in cmds:
        walls = [w for w, _, _ in c.runs["warm"]]
        line = "%-28s %9.3f %7.3f %7.3f %8.2f" % (
            c.label, statistics.median(walls), min(walls), max(walls),
            statistics.median(walls) / base["warm"])
        if cold_possible:
            cold = statistics.median(w for w, _, _ in c.runs["cold"])
            line += " %9.3f %8.2f" % (cold, cold / base["cold"])
        everything = c.runs["warm"] + c.runs["cold"]
        line += " %8.3f %12.1f" % (statistics.median(u for _, u, _ in c.runs["warm"]),
                                   max(m for _, _, m in everything) / 1024)
        print(line)


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__.split("\n\n")[-1])
    corpus, count, names = sys.argv[1], int(sys.argv[2]), programs(sys.argv[3:])
    cmds = commands(corpus, names)
    for command in cmds:  # warm-up
        run_once(command)
    rounds(cmds, count, "warm")
    why = rounds(cmds, count, "cold")
    if why:
        print("cold runs left out: the page cache cannot be dropped here (%s)" % why)
    print("%d rounds each, warm then cold (page cache dropped before each program); "
          "median wall time, ratios of medians to %s; cpu: median user + system, warm"
          % (count, BASE))
    print("\"log off\": the program as process 1 of a new PID namespace (unshare --pid "
          "--fork), whose making and ending add to its time")
    table(cmds, why is None)


if __name__ == "__main__":
    main()

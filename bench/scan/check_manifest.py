"""Checks the program against the benchmark corpus's manifest.

Before the program is timed: its "Path:" lines name exactly the examined
images, each "Safe" (the release signature list finds none of the corpus's
test patterns), and its log has one 309 line per listed file within the size
limit, one 334 per image and one 338 per other file; the run with logging
switched off prints the same results and writes no log.

usage: check_manifest.py CORPUS PROGRAM [ALSO]  (as given to scan_env.py
prepare, which installed them in the corpus)
"""
import os
import subprocess
import sys

from scan_env import Scan, log_path, programs
from zq_samples import SIZE_LIMIT
from zq_tree import Result

START, END = "Start Scanning...", "End Scanning..."


def manifest(corpus):
    """(expected verdict by path, number of files the walk logs)."""
    want, visible_files = {}, 0
    with open(os.path.join(corpus, ".bench-manifest.tsv"), encoding="utf-8") as f:
        next(f)
        for line in f:
            path, size, _kind, verdict = line.rstrip("\n").split("\t")
            if verdict != "-":
                want[path] = verdict
            hidden = any(p.startswith(".") for p in path.split("/"))
            if not hidden and int(size) <= SIZE_LIMIT:
                visible_files += 1
    return want, visible_files


def results(console, problems):
    """{path below the corpus: result word} of the console text."""
    text = console.decode("utf-8", "surrogateescape")
    if not text.startswith(START):
        problems.append("output does not begin with " + START)
    body = text[len(START):]
    end = body.rfind(END)
    if end < 0:
        problems.append("no " + END)
    got = {}
    for line in body[:end].split("\n")[:-1]:
        if not line.startswith("Path:/") or "\tResult:" not in line:
            problems.append("unexpected line %r" % line[:200])
            continue
        path, result = line[len("Path:/"):].rsplit("\tResult:", 1)
        if path in got:
            problems.append("printed twice: %s" % path)
        got[path] = result
    return got


def log_counts(path):
    counts = {"309": 0, "334": 0, "338": 0}
    with open(path, "rb") as f:
        for raw in f:
            for k in counts:
                if b"[ScanFolder][%s]" % k.encode() in raw:
                    counts[k] += 1
    return counts


def run(scan):
    for stale in (log_path(scan.root), log_path(scan.root) + "0"):
        if os.path.exists(stale):
            os.unlink(stale)
    scan.prepare()
    return subprocess.run(scan.argv(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          check=True).stdout


def check(corpus, name, want, visible_files):
    problems = []
    got = results(run(Scan(corpus, name)), problems)
    safe = Result.SAFE.word
    missing = sorted(set(want) - set(got))
    extra = sorted(set(got) - set(want))
    not_safe = sorted(p for p, r in got.items() if r != safe)
    for what, items in (("missing", missing), ("extra", extra), ("not " + safe, not_safe)):
        if items:
            problems.append("%d %s, e.g. %s" % (len(items), what, items[:3]))
    counts = log_counts(log_path(corpus))
    if counts != {"309": visible_files, "334": len(want), "338": visible_files - len(want)}:
        problems.append("log counts %s, want 309=%d 334=%d 338=%d" %
                        (counts, visible_files, len(want), visible_files - len(want)))
    print("%s: %d images examined (manifest: %d), %d %s; log: %d files, %d results" %
          (name, len(got), len(want), len(got) - len(not_safe), safe, counts["309"],
           counts["334"]))
    quiet = results(run(Scan(corpus, name, logging=False)), problems)
    if quiet != got:
        problems.append("logging switched off, other results")
    # Logging goes off right after the run made its switch: only the lines
    # logged before (the start, the first files) may be there, never most.
    quiet_counts = log_counts(log_path(corpus)) if os.path.exists(log_path(corpus)) else {}
    if quiet_counts.get("309", 0) > visible_files // 2:
        problems.append("logging switched off, the log holds %d files" % quiet_counts["309"])
    return problems


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.split("\n\n")[-1])
    corpus = sys.argv[1]
    want, visible_files = manifest(corpus)
    ok = True
    for name in programs(sys.argv[2:]):
        problems = check(corpus, name, want, visible_files)
        if problems:
            print("%s DISAGREES WITH THE MANIFEST:" % name)
            for p in problems:
                print("   ", p)
            ok = False
        else:
            print("%s agrees with the manifest (logging on and off)" % name)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()

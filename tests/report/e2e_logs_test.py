#!/usr/bin/env python3
"""zqreport over the logs that the end-to-end runs kept (one folder per
case, each with the figures the end-to-end test expected of its run): every
case is one host, and its figures, errors and the exit code must be the
ones the end-to-end test expected. Then over logs put together from two of
them: two runs in one log, a rotated pair (the backup holding the earlier
run), a second run cut off before its summary, and the two runs fetched
into time folders, the later fetch holding both again: the last run's
figures must be the expected ones of the later case, and the history both
runs in the order they ran.

usage: e2e_logs_test.py --zqreport PATH --logs DIR

Exits 77 (skipped) when DIR holds no kept log (the end-to-end run was
skipped on this machine).
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile

SKIP = 77
FIGURES = ("examined", "safe", "fixed", "error", "unreadable", "not_scanned")
# Figures that only some cases' expectations give (a run that only checks).
OPTIONAL_FIGURES = ("infected",)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zqreport", required=True)
    ap.add_argument("--logs", required=True)
    args = ap.parse_args()
    cases = sorted(d for d in os.listdir(args.logs)) if os.path.isdir(args.logs) else []
    cases = [c for c in cases if os.path.exists(os.path.join(args.logs, c, "expected.json"))]
    if not cases:
        print("SKIP: no kept end-to-end log in %s" % args.logs)
        return SKIP

    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "report.json")
        res = subprocess.run([sys.executable, args.zqreport, args.logs, "--json", out,
                              "--html", os.path.join(args.logs, "report.html")],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        sys.stdout.write(res.stdout.decode("utf-8", "replace"))
        with open(out, encoding="utf-8") as f:
            hosts = {h["host"]: h for h in json.load(f)}

    problems = []
    any_error = False
    for case in cases:
        with open(os.path.join(args.logs, case, "expected.json"), encoding="utf-8") as f:
            want = json.load(f)
        host = hosts.get(case)
        if host is None:
            problems.append("%s: no host in the report" % case)
            continue
        any_error |= want["error"] > 0 or want.get("infected", 0) > 0
        for key in FIGURES + tuple(k for k in OPTIONAL_FIGURES if k in want):
            if host[key] != want[key]:
                problems.append("%s: %s is %r, expected %r" % (case, key, host[key], want[key]))
        for key, value in (("complete", True), ("runs", 1), ("source", "summary")):
            if host[key] != value:
                problems.append("%s: %s is %r, expected %r" % (case, key, host[key], value))
        disagreements = [n for n in host["notes"] if "disagree" in n]
        if disagreements:
            problems.append("%s: %s" % (case, disagreements))
        got_errors = [(e["path"], e["call"], e["code"], e["message"]) for e in host["errors"]]
        want_errors = []
        for e in want["errors"]:
            m = re.search(r"Call (\w+) failed: (\S+)$", e["line"])
            want_errors.append((e["path"], m.group(1) if m else None, m.group(2) if m else None,
                                e["line"]))
        if got_errors != want_errors:
            problems.append("%s: errors %r, expected %r" % (case, got_errors, want_errors))
    want_code = 1 if any_error else 0
    if res.returncode != want_code:
        problems.append("exit code %d, expected %d: %s" % (res.returncode, want_code,
                                                          res.stderr.decode(errors="replace")))
    problems += check_composites(args, cases)
    for p in problems:
        print("FAIL: " + p)
    print("%d case(s) checked" % len(cases) if not problems else "")
    return 1 if problems else 0


def check_composites(args, cases):
    def read(case):
        with open(os.path.join(args.logs, case, "ZQCindervane.log"), "rb") as f:
            return f.read()

    def start_of(data):
        # "Start..." is each kept log's first line.
        m = re.match(rb"(\d+)-(\d+)-(\d+) (\d\d:\d\d:\d\d) (\d{3})  Start\.\.\.\r\n", data)
        return ("%04d-%02d-%02d %s" % (int(m.group(1)), int(m.group(2)), int(m.group(3)),
                                       m.group(4).decode()), m.group(5)) if m else None

    pair = sorted((start_of(read(c)) or ("", ""), c) for c in (cases[0], cases[-1]))
    (start_a, ms_a), first = pair[0]
    (start_b, ms_b), last = pair[1]
    with open(os.path.join(args.logs, last, "expected.json"), encoding="utf-8") as f:
        want = json.load(f)
    a, b = read(first), read(last)
    starts = [start_a, start_b]
    # The runs are told apart by their start: the last run must be the
    # later case's.
    if "" in starts or (start_a, ms_a) == (start_b, ms_b):
        return ["the kept logs of %s and %s do not start at distinct times: %r"
                % (first, last, pair)]
    summary_at = b.rfind(b"\r\n", 0, b.find(b"  Summary...")) + 2
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        files = {("two-runs", "ZQCindervane.log"): a + b,
                 ("rotated", "ZQCindervane.log0"): a,
                 ("rotated", "ZQCindervane.log"): b,
                 ("cut-off", "ZQCindervane.log"): a + b[:summary_at],
                 ("timed/20261206T040000Z", "ZQCindervane.log"): a,
                 ("timed/20261206T050000Z", "ZQCindervane.log"): a + b}
        for (host, name), data in files.items():
            os.makedirs(os.path.join(tmp, "fetched", host), exist_ok=True)
            with open(os.path.join(tmp, "fetched", host, name), "wb") as f:
                f.write(data)
        out = os.path.join(tmp, "report.json")
        res = subprocess.run([sys.executable, args.zqreport, os.path.join(tmp, "fetched"),
                              "--json", out], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        with open(out, encoding="utf-8") as f:
            hosts = {h["host"]: h for h in json.load(f)}
    if res.returncode != 1:
        problems.append("composite logs: exit code %d, expected 1" % res.returncode)
    # The cut-off run is counted from its lines: a result line cut at 499
    # bytes has lost its result, so only these figures are exact.
    cut_figures = ("examined", "error", "unreadable", "not_scanned")
    for host, complete, source, figures in (("two-runs", True, "summary", FIGURES),
                                            ("rotated", True, "summary", FIGURES),
                                            ("cut-off", False, "lines", cut_figures),
                                            ("timed", True, "summary", FIGURES)):
        h = hosts.get(host)
        if h is None:
            problems.append("%s: no host in the report" % host)
            continue
        got = [h[k] for k in ("runs", "complete", "source") + figures]
        got += [h["last_run"], [r["started"] for r in h["history"]]]
        expected = [2, complete, source] + [want[k] for k in figures] + [starts[1], starts]
        if got != expected:
            problems.append("%s (runs of %s, %s): %r, expected %r" % (host, first, last, got,
                                                                    expected))
        if [e["path"] for e in h["errors"]] != [e["path"] for e in want["errors"]]:
            problems.append("%s: errors %r" % (host, h["errors"]))
    return problems


if __name__ == "__main__":
    sys.exit(main())

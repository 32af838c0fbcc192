#!/usr/bin/env python3
"""zqreport over logs written here in the program's own line layout: several
runs per file, a run cut off, a rotated pair, CP936 paths and bytes that do
not decode, lines cut at 499 bytes, a summary that the per-file lines
contradict, and the exit codes.

usage: zqreport_test.py --zqreport PATH [unittest options]
"""
import argparse
import csv
import json
import os
import subprocess
import sys
import tempfile
import unittest

ZQREPORT = None


def stamp(second):
    return b"2026-12-6 04:%02d:%02d %03d  " % (second // 60 % 60, second % 60, second % 1000)


class LogWriter:
    """Builds a log the way the program writes it: timestamp, two spaces,
    the message cut at 499 bytes, CR LF."""

    def __init__(self, second=0):
        self.data = bytearray()
        self.second = second

    def line(self, message):
        if isinstance(message, str):
            message = message.encode("ascii")
        self.data += stamp(self.second) + message[:499] + b"\r\n"
        self.second += 1
        return self

    def start(self, root=b"C:"):
        self.line("Start...")
        return self.line(b"[wmain][440]Start Scanning Folder:" + root)

    def image(self, path, result, *before):
        self.line(b"[ScanFolder][309]Start Scanning File:" + path)
        for text in before:
            self.line(text)
        return self.line(b"[ScanFolder][334]Path:" + path + b", Result:%d" % result)

    def not_pe(self, path, *before):
        self.line(b"[ScanFolder][309]Start Scanning File:" + path)
        for text in before:
            self.line(text)
        return self.line("[ScanFolder][338]Not PE-Type, no need to scan")

    def summary(self, folders=1, files=0, examined=0, safe=0, fixed=0, error=0, unreadable=0,
                not_scanned=0, unlisted=0, seconds="0.250"):
        return self.line(
            "Summary...Folders:%d, Files:%d, Examined:%d, Safe:%d, Is Fix:%d, Error:%d, "
            "Unreadable:%d, Not Scanned:%d, Unlisted:%d, Seconds:%s"
            % (folders, files, examined, safe, fixed, error, unreadable, not_scanned, unlisted,
               seconds))

    def end(self):
        return self.line("End...")


def clean_run(log, n_safe=2, summary=True):
    log.start()
    for i in range(n_safe):
        log.image(b"C:\\apps\\a%d.exe" % i, 0)
    if summary:
        log.summary(files=n_safe, examined=n_safe, safe=n_safe)
    return log.end()


class Report:
    def __init__(self, returncode, hosts, stdout, stderr):
        self.returncode = returncode
        self.hosts = {h["host"]: h for h in hosts}
        self.order = [h["host"] for h in hosts]
        self.stdout, self.stderr = stdout, stderr


class ZqreportTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.fetched = os.path.join(self.tmp.name, "fetched")
        os.makedirs(self.fetched)

    def tearDown(self):
        self.tmp.cleanup()

    def put(self, host, log, name="ZQCindervane.log"):
        folder = os.path.join(self.fetched, host)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bytes(log.data))

    def report(self, *inputs, extra=()):
        out = os.path.join(self.tmp.name, "report.json")
        if os.path.exists(out):
            os.unlink(out)
        res = subprocess.run([sys.executable, ZQREPORT, *(inputs or [self.fetched]), "--json", out,
                              *extra], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        hosts = []
        if os.path.exists(out):
            with open(out, encoding="utf-8") as f:
                hosts = json.load(f)
        return Report(res.returncode, hosts, res.stdout.decode("utf-8", "replace"),
                      res.stderr.decode("utf-8", "replace"))

    def test_each_kind_of_log_gives_the_last_runs_figures(self):
        two_runs = LogWriter()
        two_runs.start().image(b"C:\\bad.exe", 2).summary(files=1, examined=1, fixed=1).end()
        clean_run(two_runs, n_safe=3)

        cut_off = LogWriter()
        clean_run(cut_off, n_safe=1)
        cut_off.start().image(b"C:\\x.exe", 0).image(b"C:\\y.exe", 2)  # no summary, no End

        older, newer = LogWriter(0), LogWriter(100)
        older.start().image(b"C:\\old.exe", -1, "Call CreateFile failed: 0x5")
        older.summary(files=1, examined=1, error=1).end()
        clean_run(newer, n_safe=4)

        no_summary = LogWriter()  # a program that writes no summary line yet
        clean_run(no_summary, n_safe=2, summary=False)

        self.put("two-runs", two_runs)
        self.put("cut-off", cut_off)
        self.put("rotated", older, "ZQCindervane.log0")
        self.put("rotated", newer)
        self.put("no-summary", no_summary)
        r = self.report()
        self.assertEqual(1, r.returncode, r.stderr)

        cases = {
            # host: (runs, complete, examined, safe, fixed, error, source, fixed_all_runs)
            "two-runs": (2, True, 3, 3, 0, 0, "summary", 1),
            "cut-off": (2, False, 2, 1, 1, 0, "lines", 1),
            "rotated": (2, True, 4, 4, 0, 0, "summary", 0),
            "no-summary": (1, True, 2, 2, 0, 0, "lines", 0),
        }
        for host, want in cases.items():
            h = r.hosts[host]
            got = tuple(h[k] for k in ("runs", "complete", "examined", "safe", "fixed", "error",
                                       "source", "fixed_all_runs"))
            self.assertEqual(want, got, host)
        self.assertEqual("cut-off", r.order[0])  # interrupted: attention first
        self.assertEqual("attention", r.hosts["cut-off"]["status"])
        self.assertEqual("clean", r.hosts["two-runs"]["status"])
        self.assertEqual([True, False], [run["complete"] for run in r.hosts["cut-off"]["history"]])
        # The rotated pair: the backup's run comes first.
        self.assertEqual([1, 0], [run["error"] for run in r.hosts["rotated"]["history"]])

    def test_errors_carry_path_call_and_code_in_the_scans_code_page(self):
        gbk_path = "C:\\\u6d4b\u8bd5\\\u7a0b\u5e8f.exe".encode("cp936")
        undecodable = b"C:\\bad\xff\xfe.exe"
        log = LogWriter()
        log.start()
        log.image(gbk_path, -1, "[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2",
                  "[DruquaraWrap::QuarantineFile][147]Do init failed",
                  "Call CreateFile failed: 0x5")
        log.image(undecodable, -1, "May get invalid info")
        log.not_pe(b"C:\\locked.exe", "[CommFunc::IsFilePE][66]Call CreateFile failed: 32")
        log.summary(files=3, examined=2, error=2, unreadable=1).end()
        self.put("win", log)

        linux = LogWriter()
        linux.start(root=b"")
        linux.image("/data/\u6d4b\u8bd5.exe".encode("utf-8"), -1, "Call ReadFile failed: 0x5")
        linux.summary(files=1, examined=1, error=1).end()
        self.put("linux", linux)

        r = self.report()
        self.assertEqual(1, r.returncode)
        errors = r.hosts["win"]["errors"]
        self.assertEqual(2, len(errors))
        self.assertEqual(("C:\\\u6d4b\u8bd5\\\u7a0b\u5e8f.exe", "CreateFile", "0x5"),
                         (errors[0]["path"], errors[0]["call"], errors[0]["code"]))
        self.assertNotIn("path_bytes", errors[0])
        self.assertEqual(undecodable.hex(), errors[1]["path_bytes"])
        self.assertEqual("C:\\bad\\xff\\xfe.exe", errors[1]["path"])
        self.assertEqual((None, "May get invalid info"), (errors[1]["call"], errors[1]["message"]))
        self.assertEqual(1, r.hosts["win"]["unreadable"])
        self.assertEqual("/data/\u6d4b\u8bd5.exe", r.hosts["linux"]["errors"][0]["path"])
        self.assertEqual([], r.hosts["win"]["notes"])

    def test_summary_and_lines_that_disagree_are_reported(self):
        log = LogWriter()
        log.start().image(b"C:\\a.exe", 0)
        # The log's switch was off for a while: the summary counts more.
        log.summary(files=3, examined=3, safe=2, error=1).end()
        self.put("switched", log)
        r = self.report()
        h = r.hosts["switched"]
        self.assertEqual((3, 2, 1), (h["examined"], h["safe"], h["error"]))
        self.assertIn("summary and per-file lines disagree: examined: summary 3, lines 1",
                      h["notes"])
        self.assertIn("disagree", r.stdout)

    def test_result_lines_cut_at_499_bytes(self):
        long_path = b"C:\\" + b"d" * 480 + b"\\tool.exe"
        log = LogWriter()
        log.start().image(long_path, 2).image(b"C:\\short.exe", 0)
        log.summary(files=2, examined=2, safe=1, fixed=1).end()
        self.put("long", log)
        cut_no_summary = LogWriter()
        cut_no_summary.start().image(long_path, 2).end()
        self.put("long-old", cut_no_summary)
        r = self.report()
        h = r.hosts["long"]
        self.assertEqual((2, 1, 1), (h["examined"], h["safe"], h["fixed"]))
        self.assertEqual(["1 result line(s) cut at 499 bytes (their results are in the summary)"],
                         h["notes"])
        old = r.hosts["long-old"]
        self.assertEqual((1, 0, 0, 0), (old["examined"], old["safe"], old["fixed"], old["error"]))
        self.assertIn("1 result line(s) cut at 499 bytes", old["notes"])

    def test_exit_codes(self):
        clean = LogWriter()
        clean_run(clean)
        self.put("a", clean)
        self.put("b", clean)
        cases = [
            ("every host complete without Error", [self.fetched], 0),
            ("a log given by itself", [os.path.join(self.fetched, "a", "ZQCindervane.log")], 0),
            ("missing input", [os.path.join(self.tmp.name, "missing")], 2),
            ("a folder without logs", [os.path.join(self.tmp.name, "empty")], 2),
        ]
        os.makedirs(os.path.join(self.tmp.name, "empty"))
        for name, inputs, code in cases:
            r = self.report(*inputs)
            self.assertEqual(code, r.returncode, name + ": " + r.stderr)
            if code == 2:
                self.assertTrue(r.stderr.startswith("zqreport: "), r.stderr)
        self.assertEqual(["a"], list(self.report(os.path.join(self.fetched, "a")).hosts))

        empty_log = LogWriter()
        self.put("c", empty_log)
        self.assertEqual(1, self.report().returncode)  # a host with no run at all

    def test_outputs_escape_what_the_logs_hold(self):
        log = LogWriter()
        log.start().image(b"C:\\<script>alert(1)</script>.exe", -1, "May get invalid info")
        log.summary(files=1, examined=1, error=1).end()
        self.put("=cmd|host", log)
        html_file = os.path.join(self.tmp.name, "r.html")
        csv_file = os.path.join(self.tmp.name, "r.csv")
        r = self.report(extra=("--html", html_file, "--csv", csv_file))
        self.assertEqual(1, r.returncode)
        with open(html_file, encoding="utf-8") as f:
            page = f.read()
        self.assertNotIn("<script", page)
        self.assertIn("&lt;script&gt;", page)
        self.assertNotIn("http:", page.replace('xmlns="http://www.w3.org/2000/svg"', ""))
        with open(csv_file, encoding="utf-8", newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual("'=cmd|host", rows[1][0])
        self.assertEqual("1", rows[1][rows[0].index("error")])


def main():
    global ZQREPORT
    ap = argparse.ArgumentParser()
    ap.add_argument("--zqreport", required=True)
    args, rest = ap.parse_known_args()
    ZQREPORT = os.path.abspath(args.zqreport)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()

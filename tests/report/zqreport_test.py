#!/usr/bin/env python3
"""zqreport over logs written here in the program's own line layout: several
runs per file, a run cut off or interrupted, a rotated pair, the runs of one
host fetched into time folders, a check-only run and the repair after it,
CP936 paths and bytes that do not decode, lines cut at 499 bytes, a summary
that the per-file lines contradict, the walk's lines of entries passed over,
errors grouped by call and code, runs that scanned nothing, other files
named *.log, the outputs and the exit codes.

usage: zqreport_test.py --zqreport PATH [unittest options]
"""
import argparse
import csv
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

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

    def start(self, root=b"C:", version=None, check=False):
        self.line("Start...")
        if version:
            self.line("Version...ZQCindervane %s, Signatures:1" % version)
        if check:
            self.line("Check only: nothing is repaired")
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
                not_scanned=0, unlisted=0, seconds="0.250", infected=None, roots=None,
                in_use=None):
        """The summary line; `infected` (a check-only run's), `roots` and
        `in_use` (this program's, not older ones') only when given."""
        return self.line(
            "Summary...Folders:%d, Files:%d, Examined:%d, Safe:%d, Is Fix:%d, %sError:%d, "
            "Unreadable:%d, %sNot Scanned:%d, Unlisted:%d, %sSeconds:%s"
            % (folders, files, examined, safe, fixed,
               "" if infected is None else "Infected:%d, " % infected, error, unreadable,
               "" if in_use is None else "In use:%d, " % in_use,
               not_scanned, unlisted, "" if roots is None else "Roots:%d, " % roots, seconds))

    def interrupted(self, what="SIGTERM"):
        return self.line("[wmain][443]Scan interrupted (%s), ending before the next file" % what)

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

    def put(self, host, log, name="ZQCindervane.log", below=""):
        """Puts `log` (a LogWriter, or bytes) at fetched/<host>/<below>/<name>;
        returns its path."""
        folder = os.path.join(self.fetched, host, below)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(bytes(log.data) if isinstance(log, LogWriter) else log)
        return path

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

        in_use = LogWriter()  # a file the system holds: its own line and count
        in_use.start().image(b"C:\\a.exe", 0)
        in_use.not_pe(b"C:\\pagefile.sys",
                      b"[ScanFolder][277]In use by the system, not examined:C:\\pagefile.sys")
        in_use.summary(files=2, examined=1, safe=1, in_use=1, roots=1).end()

        self.put("two-runs", two_runs)
        self.put("cut-off", cut_off)
        self.put("rotated", older, "ZQCindervane.log0")
        self.put("rotated", newer)
        self.put("no-summary", no_summary)
        self.put("in-use", in_use)
        r = self.report()
        self.assertEqual(1, r.returncode, r.stderr)

        cases = {
            # host: (runs, complete, examined, safe, fixed, error, source, fixed_all_runs)
            "two-runs": (2, True, 3, 3, 0, 0, "summary", 1),
            "cut-off": (2, False, 2, 1, 1, 0, "lines", 1),
            "rotated": (2, True, 4, 4, 0, 0, "summary", 0),
            "no-summary": (1, True, 2, 2, 0, 0, "lines", 0),
            "in-use": (1, True, 1, 1, 0, 0, "summary", 0),
        }
        for host, want in cases.items():
            h = r.hosts[host]
            got = tuple(h[k] for k in ("runs", "complete", "examined", "safe", "fixed", "error",
                                       "source", "fixed_all_runs"))
            self.assertEqual(want, got, host)
        self.assertEqual("cut-off", r.order[0])  # interrupted: attention first
        self.assertEqual("attention", r.hosts["cut-off"]["status"])
        self.assertEqual("clean", r.hosts["two-runs"]["status"])
        # Files in use by the system are a note, never a reason for attention.
        self.assertEqual("clean", r.hosts["in-use"]["status"])
        self.assertFalse(r.hosts["in-use"]["attention"])
        self.assertEqual(1, len(r.hosts["in-use"]["notes"]), r.hosts["in-use"]["notes"])
        self.assertIn("in use by the system", r.hosts["in-use"]["notes"][0])
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

    def test_interrupted_runs(self):
        def interrupted_with_end(log):  # older programs: 443, summary and End...
            log.start().image(b"C:\\a.exe", 0).interrupted("Ctrl+C")
            log.summary(files=1, examined=1, safe=1).end()

        def interrupted(log):  # 443 and the summary, no End...
            log.start().image(b"C:\\a.exe", 0).interrupted("console closed")
            log.summary(files=1, examined=1, safe=1, roots=1)

        def cut_off(log):  # neither summary nor End...
            log.start().image(b"C:\\a.exe", 0)

        cases = (("443-with-end", interrupted_with_end, "interrupted: Ctrl+C", "summary"),
                 ("443-without-end", interrupted, "interrupted: console closed", "summary"),
                 ("cut-off", cut_off, "cut off", "lines"))
        for host, write, interruption, source in cases:
            with self.subTest(host):
                for other in os.listdir(self.fetched):
                    shutil.rmtree(os.path.join(self.fetched, other))
                log = LogWriter()
                write(log)
                self.put(host, log)
                r = self.report()
                self.assertEqual(1, r.returncode, r.stdout)
                h = r.hosts[host]
                self.assertEqual((False, interruption, "attention", source, 1),
                                 (h["complete"], h["interruption"], h["status"], h["source"],
                                  h["examined"]))
                self.assertIn("NO (%s)" % interruption, r.stdout)

                # A complete run after it: the host reads clean again, and
                # its history keeps the interrupted run.
                write(log)
                log.second += 10
                clean_run(log)
                self.put(host, log)
                r = self.report()
                self.assertEqual(0, r.returncode, r.stdout)
                h = r.hosts[host]
                self.assertEqual(("clean", True, None), (h["status"], h["complete"],
                                                         h["interruption"]))
                self.assertEqual([interruption, interruption, None],
                                 [run["interruption"] for run in h["history"]])

    def test_entries_passed_over(self):
        # Links and the system's own folders are passed over by design, not
        # local files are listed: none of them is a failure.
        by_design = LogWriter()
        by_design.start().image(b"C:\\a.exe", 0)
        by_design.line(b"[ScanFolder][294]Link, not entered:C:\\Users\\All Users")
        by_design.line(b"[ScanFolder][276]Folder kept by the system, not listed:"
                       b"C:\\System Volume Information")
        by_design.summary(files=1, examined=1, safe=1, not_scanned=2, roots=1).end()
        self.put("by-design", by_design)

        not_local = LogWriter()
        not_local.start().image(b"C:\\a.exe", 2)
        for name in (b"setup.exe", b"photos"):
            not_local.line(b"[ScanFolder][299]Not local, not scanned:C:\\OneDrive\\" + name)
        not_local.summary(files=2, examined=1, fixed=1, not_scanned=2, roots=1).end()
        self.put("not-local", not_local)

        too_long = LogWriter()
        too_long.start().line(b"[ScanFolder][313]File path too long, not scanned:C:\\x.exe")
        too_long.summary(files=1, not_scanned=1, roots=1).end()
        self.put("too-long", too_long)

        r = self.report()
        self.assertEqual(0, r.returncode, r.stdout)
        got = {host: tuple(r.hosts[host][k] for k in ("status", "not_scanned", "not_local",
                                                      "links", "system_folders"))
               for host in r.hosts}
        self.assertEqual({"by-design": ("clean", 2, 0, 1, 1),
                          "not-local": ("repaired", 2, 2, 0, 0),
                          "too-long": ("check", 1, 0, 0, 0)}, got)
        self.assertEqual(["C:\\OneDrive\\setup.exe", "C:\\OneDrive\\photos"],
                         [f["path"] for f in r.hosts["not-local"]["not_local_files"]])
        self.assertIn("not-local: Not local C:\\OneDrive\\photos\n", r.stdout)
        for h in r.hosts.values():
            self.assertFalse([n for n in h["notes"] if "disagree" in n], h)

    def test_per_file_count_matches_the_summary(self):
        """Counted from the lines, every line of an entry passed over lands
        where the program's summary counts it."""
        def walk(log):
            log.start(root=b"C:")
            log.line(b"[ScanFolder][300]Start Scanning Folder:C:\\a")
            log.image(b"C:\\a\\x.exe", 0)
            log.line(b"[ScanFolder][300]Start Scanning Folder:C:\\locked")
            log.line(b"[ScanFolder][275]Call FindFirstFile failed: 5")
            log.line(b"[ScanFolder][276]Folder kept by the system, not listed:"
                     b"C:\\System Volume Information")
            log.line(b"[ScanFolder][294]Link, not entered:C:\\a\\link")
            log.line(b"[ScanFolder][299]Not local, not scanned:C:\\a\\cloud.exe")
            log.line(b"[ScanFolder][297]Folder already open above, not scanned again:C:\\a\\b")
            log.line(b"[ScanFolder][313]File path too long, not scanned:C:\\a\\long.exe")
            log.line(b"[wmain][440]Start Scanning Folder:D:")
            log.line(b"[ScanFolder][294]Link, not entered:D:")  # a root not entered
            return log

        counted = walk(LogWriter())
        counted.end()
        summed = walk(LogWriter())
        summed.summary(folders=2, files=2, examined=1, safe=1, not_scanned=6, unlisted=1,
                       roots=2).end()
        self.put("counted", counted)
        self.put("summed", summed)
        r = self.report()
        keys = ("folders", "files", "examined", "safe", "not_scanned", "unlisted", "roots",
                "not_local", "links", "system_folders")
        self.assertEqual([r.hosts["summed"][k] for k in keys],
                         [r.hosts["counted"][k] for k in keys])
        self.assertEqual(["lines", "summary"], [r.hosts[h]["source"]
                                                for h in ("counted", "summed")])
        self.assertFalse([n for n in r.hosts["summed"]["notes"] if "disagree" in n],
                         r.hosts["summed"]["notes"])
        # Unlisted folders ask for a look.
        self.assertEqual("check", r.hosts["summed"]["status"])

    def test_errors_grouped_by_call_and_code(self):
        win = LogWriter()
        win.start()
        win.image(b"C:\\in_use.exe", -1, "Call CreateFile failed: 0x20")
        win.not_pe(b"C:\\pagefile.sys", "[CommFunc::IsFilePE][66]Call CreateFile failed: 32")
        win.image(b"C:\\read_only.exe", -1, "Call CreateFile failed: 0x5")
        win.image(b"C:\\link.exe", -1, "Call CreateFile failed: 0x2a9")
        win.image(b"C:\\odd.exe", -1, "May get invalid info")
        win.summary(files=5, examined=4, error=4, unreadable=1, roots=1).end()
        self.put("win", win)
        win2 = LogWriter()
        win2.start().image(b"C:\\busy.exe", -1, "Call CreateFile failed: 0x20")
        win2.summary(files=1, examined=1, error=1, roots=1).end()
        self.put("win2", win2)
        linux = LogWriter()
        linux.start(root=b"/").image(b"/bin/x.exe", -1, "Call CreateFile failed: 0x5")
        linux.summary(files=1, examined=1, error=1, roots=1).end()
        self.put("linux", linux)

        html_file = os.path.join(self.tmp.name, "r.html")
        r = self.report(extra=("--html", html_file))
        self.assertEqual(1, r.returncode)
        in_use = "in use: close the program, or scan from a rescue system"
        got = [(e["path"], e["call"], e["code"], e["code_number"], e["meaning"])
               for e in r.hosts["win"]["errors"] + r.hosts["win"]["unreadable_files"]]
        self.assertEqual([
            ("C:\\in_use.exe", "CreateFile", "0x20", 32, in_use),
            ("C:\\read_only.exe", "CreateFile", "0x5", 5,
             "no right to write: the file is read-only or its permissions refuse the scan"),
            ("C:\\link.exe", "CreateFile", "0x2a9", 681,
             "a link, not repaired: the repair never follows a link put in the file's place"),
            ("C:\\odd.exe", None, None, None,
             "the saved head is not a valid image: the file was left as it was"),
            ("C:\\pagefile.sys", "CreateFile", "32", 32, in_use)], got)
        # The meaning is the system's: 5 on Linux is EIO.
        self.assertEqual((5, "read or write error of the disk"),
                         (r.hosts["linux"]["errors"][0]["code_number"],
                          r.hosts["linux"]["errors"][0]["meaning"]))
        # Decimal and hex are one code, over every host.
        self.assertIn("  CreateFile failed: 32 (0x20): %s: 2 Error, 1 Unreadable on 2 host(s)\n"
                      % in_use, r.stdout)
        self.assertIn("win: Unreadable C:\\pagefile.sys: CreateFile failed: 32 (0x20): %s\n"
                      % in_use, r.stdout)
        self.assertIn("  May get invalid info: the saved head", r.stdout)
        with open(html_file, encoding="utf-8") as f:
            page = f.read()
        rows = re.findall(r'<tr class="error-code" data-call="(\w*)" data-code="(\d*)">', page)
        self.assertEqual(1, rows.count(("CreateFile", "32")), rows)
        # 32, 5 twice (the two systems' meanings), 681, invalid info
        self.assertEqual(5, len(rows), rows)
        self.assertIn(in_use, page)

    def test_runs_that_scanned_nothing(self):
        no_roots = LogWriter()
        no_roots.line("Start...").summary(folders=0, roots=0).end()
        no_folders = LogWriter()
        no_folders.start().line(b"[ScanFolder][275]Call FindFirstFile failed: 21")
        no_folders.summary(folders=0, unlisted=1, roots=1).end()
        old_program = LogWriter()  # no Roots in its summary
        clean_run(old_program)
        start_lost = LogWriter()  # the log's beginning (and its root's line) was lost
        start_lost.image(b"C:\\a.exe", 0).end()
        for host, log, status, code in (("no-roots", no_roots, "nothing_scanned", 1),
                                        ("no-folders", no_folders, "nothing_scanned", 1),
                                        ("old-program", old_program, "clean", 0),
                                        ("start-lost", start_lost, "clean", 0)):
            with self.subTest(host):
                for other in os.listdir(self.fetched):
                    shutil.rmtree(os.path.join(self.fetched, other))
                self.put(host, log)
                r = self.report()
                self.assertEqual((status, code), (r.hosts[host]["status"], r.returncode))
                if code:
                    self.assertIn("nothing scanned", r.stdout)

    def test_only_the_programs_logs_are_read(self):
        clean = LogWriter()
        clean_run(clean)
        build = os.path.join(self.tmp.name, "build")
        for rel in ("CMakeFiles/CMakeOutput.log", "Testing/Temporary/LastTest.log",
                    "pc/other.log", "pc/ZQCindervane.log.txt"):
            os.makedirs(os.path.dirname(os.path.join(build, rel)), exist_ok=True)
            with open(os.path.join(build, rel), "wb") as f:
                f.write(bytes(clean.data))
        with open(os.path.join(build, "pc", "ZQCindervane.log"), "wb") as f:
            f.write(bytes(clean.data))
        r = self.report(build)
        self.assertEqual((0, ["pc"]), (r.returncode, r.order), r.stdout + r.stderr)
        self.assertEqual(1, r.hosts["pc"]["runs"])
        os.unlink(os.path.join(build, "pc", "ZQCindervane.log"))
        self.assertEqual(2, self.report(build).returncode)  # no log of the program left

    def test_runs_of_one_host_fetched_into_time_folders(self):
        check = LogWriter(0)  # check only: finds two infected files
        check.start(version="3.1.0", check=True)
        check.image(b"C:\\a.exe", 1).image(b"C:\\b.exe", 1).image(b"C:\\c.exe", 0)
        check.summary(files=3, examined=3, safe=1, infected=2, roots=1).end()
        repair = LogWriter(600)  # the repair after it
        repair.start(version="3.1.0")
        repair.image(b"C:\\a.exe", 2).image(b"C:\\b.exe", 2).image(b"C:\\c.exe", 0)
        repair.summary(files=3, examined=3, safe=1, fixed=2, roots=1).end()
        later = LogWriter(1200)  # a run on a host where the program's folder was kept
        clean_run(later)

        self.put("pc", check, below="20261206T040000Z")
        r = self.report()
        h = r.hosts["pc"]
        self.assertEqual((1, "infected", "check", "3.1.0", 2),
                         (r.returncode, h["status"], h["mode"], h["version"], h["infected"]))
        self.assertEqual(["C:\\a.exe", "C:\\b.exe"], [f["path"] for f in h["infected_files"]])
        self.assertIn("pc: Infected C:\\b.exe\n", r.stdout)

        self.put("pc", repair, below="20261206T041000Z")
        r = self.report()
        h = r.hosts["pc"]
        self.assertEqual((0, "repaired", "repair", 2, 0, []),
                         (r.returncode, h["status"], h["mode"], h["runs"], h["infected"],
                          h["infected_files"]))
        self.assertEqual([("check", "infected"), ("repair", "repaired")],
                         [(run["mode"], run["status"]) for run in h["history"]])
        self.assertEqual(["C:\\a.exe", "C:\\b.exe"], [f["path"] for f in h["repaired_files"]])
        self.assertIn("pc: Is Fix C:\\a.exe", r.stdout)
        self.assertIn("pc: run 1 of 2: 2026-12-06 04:00:00, check only; version 3.1.0", r.stdout)

        # The kept log, fetched again, holds the repair again (and its
        # rotated backup the check): each run counts once. A time folder
        # named in another order than its runs' times (the control node's
        # clock was off) does not change their order.
        self.put("pc", bytes(repair.data + later.data), below="20261206T030000Z")
        self.put("pc", check, "ZQCindervane.log0", below="20261206T030000Z")
        r = self.report()
        h = r.hosts["pc"]
        self.assertEqual(3, h["runs"], h["history"])
        self.assertEqual(["check", "repair", "repair"], [run["mode"] for run in h["history"]])
        self.assertEqual(["2026-12-06 04:00:00", "2026-12-06 04:10:00", "2026-12-06 04:20:00"],
                         [run["started"] for run in h["history"]])
        self.assertEqual(("clean", 2, 2), (h["status"], h["fixed_all_runs"],
                                           len(h["repaired_files"])))

        # A host's folder or one of its runs' logs given by itself is that host.
        one = os.path.join(self.fetched, "pc", "20261206T041000Z", "ZQCindervane.log")
        for given, runs in ((os.path.join(self.fetched, "pc"), 3), (one, 1)):
            r = self.report(given)
            self.assertEqual((["pc"], runs), (r.order, r.hosts["pc"]["runs"]), given)

    def test_outputs_list_files_and_totals(self):
        check = LogWriter()
        check.start(check=True).image(b"C:\\bad.exe", 1)
        check.summary(files=1, examined=1, infected=1, roots=1).end()
        self.put("checked", check)
        repaired = LogWriter()
        repaired.start().image(b"C:\\fixed.exe", 2).image(b"C:\\ok.exe", 0)
        repaired.image(b"=C:\\err.exe", -1, "Call CreateFile failed: 0x20")
        repaired.line(b"[ScanFolder][299]Not local, not scanned:C:\\cloud.exe")
        repaired.summary(files=3, examined=3, safe=1, fixed=1, error=1, not_scanned=1,
                         roots=1).end()
        self.put("repaired", repaired)
        csv_file = os.path.join(self.tmp.name, "r.csv")
        html_file = os.path.join(self.tmp.name, "r.html")
        r = self.report(extra=("--csv", csv_file, "--html", html_file))
        self.assertEqual((1, ["checked", "repaired"]), (r.returncode, r.order))

        total = [l for l in r.stdout.splitlines() if l.startswith("TOTAL")]
        self.assertEqual(1, len(total), r.stdout)
        # Runs, Examined, Safe, Is Fix, Infected, Error, Not scanned, Not local,
        # Unreadable, Unlisted.
        self.assertEqual("TOTAL (2 hosts) 2 need attention 2 4 1 1 1 1 1 1 0 0",
                         " ".join(total[0].split()))

        with open(os.path.join(self.tmp.name, "r-files.csv"), encoding="utf-8",
                  newline="") as f:
            rows = list(csv.DictReader(f))
        got = [(row["host"], row["kind"], row["path"], row["call"], row["code"], row["code_hex"])
               for row in rows]
        self.assertEqual([("checked", "Infected", "C:\\bad.exe", "", "", ""),
                          ("repaired", "Is Fix", "C:\\fixed.exe", "", "", ""),
                          ("repaired", "Error", "'=C:\\err.exe", "CreateFile", "32", "0x20"),
                          ("repaired", "Not local", "C:\\cloud.exe", "", "", "")], got)
        self.assertTrue(rows[2]["meaning"].startswith("in use"), rows[2])
        with open(csv_file, encoding="utf-8", newline="") as f:
            hosts = {row["host"]: row for row in csv.DictReader(f)}
        self.assertEqual(("check", "1", "infected"), (hosts["checked"]["mode"],
                                                      hosts["checked"]["infected"],
                                                      hosts["checked"]["status"]))

        with open(html_file, encoding="utf-8") as f:
            page = f.read()
        foot = page[page.index("<tfoot>"):page.index("</tfoot>")]
        self.assertEqual(["2", "4", "1", "1", "1", "1", "1", "1", "0", "0"],
                         re.findall(r'<td class="\w+">(\d+)</td>', foot))
        for table in ("infected", "repaired", "not-local", "errors", "error-codes", "history"):
            self.assertIn('<table id="%s">' % table, page)
        self.assertIn("C:\\cloud.exe", page)

    def test_plain_gzip_and_zip_logs_give_one_report(self):
        """The same logs fetched plain, gzipped (Linux hosts) and zipped
        (Windows hosts, a zip per log or one holding both): the same table,
        CSV and JSON, but for the name of the log each run was read from."""
        check = LogWriter(0)
        check.start(check=True).image(b"C:\\a.exe", 1).image(b"C:\\b.exe", 0)
        check.line(b"[ScanFolder][299]Not local, not scanned:C:\\cloud.exe")
        check.summary(files=2, examined=2, safe=1, infected=1, not_scanned=1, roots=1).end()
        older = LogWriter(300)
        older.start().image("C:\\\u6d4b\u8bd5.exe".encode("cp936"), -1,
                            "Call CreateFile failed: 0x20")
        older.summary(files=1, examined=1, error=1, roots=1).end()
        repair = LogWriter(600)
        repair.start().image(b"C:\\a.exe", 2).image(b"C:\\b.exe", 0)
        repair.not_pe(b"C:\\pagefile.sys", "[CommFunc::IsFilePE][66]Call CreateFile failed: 32")
        repair.summary(files=3, examined=2, safe=1, fixed=1, unreadable=1, roots=1).end()
        cut = LogWriter(900)
        cut.start().image(b"C:\\c.exe", 0)  # no summary, no End
        logs = {"pc/20261206T040000Z": {"ZQCindervane.log": check.data},
                "pc/20261206T050000Z": {"ZQCindervane.log0": older.data,
                                        "ZQCindervane.log": repair.data + cut.data}}

        def put_all(form):
            top = os.path.join(self.tmp.name, form)
            for folder, files in logs.items():
                os.makedirs(os.path.join(top, folder))
                if form == "zip-both":
                    with zipfile.ZipFile(os.path.join(top, folder, "ZQCindervane.log.zip"),
                                         "w", zipfile.ZIP_DEFLATED) as z:
                        for name, data in files.items():
                            z.writestr(name, bytes(data))
                    continue
                for name, data in files.items():
                    path = os.path.join(top, folder, name)
                    if form == "plain":
                        with open(path, "wb") as f:
                            f.write(bytes(data))
                    elif form == "gzip":
                        with gzip.open(path + ".gz", "wb") as f:
                            f.write(bytes(data))
                    else:
                        with zipfile.ZipFile(path + ".zip", "w", zipfile.ZIP_DEFLATED) as z:
                            z.writestr(name, bytes(data))
            return top

        outputs = {}
        for form in ("plain", "gzip", "zip", "zip-both"):
            top = put_all(form)
            csv_file = os.path.join(self.tmp.name, form + ".csv")
            r = self.report(top, extra=("--csv", csv_file))
            with open(csv_file, encoding="utf-8") as f:
                hosts_csv = f.read()
            with open(os.path.join(self.tmp.name, form + "-files.csv"), encoding="utf-8") as f:
                files_csv = f.read()
            logs_read = [run["log"] for h in r.hosts.values() for run in h["history"]]
            for h in r.hosts.values():
                for run in h["history"]:
                    run["log"] = os.path.relpath(run["log"], top)
            outputs[form] = (r.returncode, r.stdout, hosts_csv, files_csv, r.hosts, logs_read)
        plain = outputs["plain"]
        self.assertEqual((1, ["pc"]), (plain[0], list(plain[4])))
        self.assertEqual(4, plain[4]["pc"]["runs"])
        for form, suffix in (("gzip", ".gz"), ("zip", ".zip/ZQCindervane.log"),
                             ("zip-both", ".zip/ZQCindervane.log")):
            with self.subTest(form):
                got = outputs[form]
                self.assertEqual(plain[:4], got[:4])
                # The runs come in the same order, from the same logs.
                want, got = json.loads(json.dumps(plain)), json.loads(json.dumps(got))
                want_logs = [run["log"] for run in want[4]["pc"]["history"]]
                got_logs = [run["log"] for run in got[4]["pc"]["history"]]
                self.assertEqual([os.path.basename(l) for l in want_logs],
                                 [l.split("/")[-1].replace(".gz", "") for l in got_logs])
                self.assertTrue(all(suffix.split("/")[0] in l for l in got[5]), got[5])
                for h in (want[4]["pc"], got[4]["pc"]):
                    for run in h["history"]:
                        del run["log"]
                self.assertEqual(want[4], got[4])

    def test_a_compressed_log_cut_short_or_damaged(self):
        run = LogWriter()
        run.start()
        for i in range(3000):
            run.image(b"C:\\apps\\tool%04d.exe" % i, 0)
        run.summary(files=3000, examined=3000, safe=3000, roots=1).end()
        packed = gzip.compress(bytes(run.data))
        self.put("cut", packed[:len(packed) // 2], "ZQCindervane.log.gz")
        r = self.report()
        h = r.hosts["cut"]
        # What the cut stream holds counts: a run cut off, from its lines.
        self.assertEqual((1, "attention", "lines", False), (r.returncode, h["status"],
                                                             h["source"], h["complete"]))
        self.assertGreater(h["examined"], 0)
        self.put("cut", b"\x1f\x8bnot gzip at all", "ZQCindervane.log.gz")
        self.assertEqual(2, self.report().returncode)
        self.put("cut", b"PK\x03\x04not a zip", "ZQCindervane.log.zip")
        self.assertEqual(2, self.report(os.path.join(self.fetched, "cut",
                                                     "ZQCindervane.log.zip")).returncode)

    def test_a_whole_run_that_logged_nothing_but_its_start_and_end(self):
        """Seen from "Start..." to "End..." without a summary and without a
        root: nothing was scanned, whatever the counted figures say."""
        for host, log, status, code in (
                ("start-end", LogWriter().line("Start...").end(), "nothing_scanned", 1),
                # Without its start the run may have scanned: no verdict.
                ("end-only", LogWriter().end(), "clean", 0)):
            with self.subTest(host):
                for other in os.listdir(self.fetched):
                    shutil.rmtree(os.path.join(self.fetched, other))
                self.put(host, log)
                r = self.report()
                self.assertEqual((status, code), (r.hosts[host]["status"], r.returncode),
                                 r.stdout)
                if code:
                    self.assertIn("nothing scanned", r.stdout)

    def test_the_reason_a_run_scanned_nothing(self):
        for reason in ("/proc/self/mountinfo could not be read (error 2)",
                       "the drive list holds no fixed drive"):
            with self.subTest(reason):
                log = LogWriter()
                log.line("Start...").line("[wmain][445]Nothing scanned:" + reason)
                log.summary(folders=0, roots=0).end()
                self.put("pc", log)
                r = self.report()
                h = r.hosts["pc"]
                self.assertEqual((1, "nothing_scanned", reason, "nothing scanned: " + reason),
                                 (r.returncode, h["status"], h["nothing_scanned_reason"],
                                  h["reason"]))
                self.assertIn("pc: nothing scanned: %s\n" % reason, r.stdout)

    def test_backups_kept_or_not_and_files_in_use(self):
        """Lines 153 (left unrepaired for want of a backup), 152 (repaired
        without one) and 277 (in use by the system) with the summary's
        In use: the first two ask for attention, the last does not."""
        no_backup = LogWriter()
        no_backup.start()
        no_backup.line(b"[ScanFolder][309]Start Scanning File:C:\\a.exe")
        no_backup.line(b"[DruquaraWrap::Init][83]Call RegOpenKeyEx failed: 2")
        no_backup.line(b"[DisinfectFile][153]No backup kept, not repaired:C:\\a.exe")
        no_backup.line(b"[ScanFolder][334]Path:C:\\a.exe, Result:1")
        no_backup.image(b"C:\\b.exe", 0)
        no_backup.summary(files=2, examined=2, safe=1, infected=1, roots=1, in_use=0).end()

        repaired_anyway = LogWriter()
        repaired_anyway.start()
        repaired_anyway.line(b"[ScanFolder][309]Start Scanning File:C:\\a.exe")
        repaired_anyway.line(b"[DisinfectFile][152]No backup kept, repaired anyway:C:\\a.exe")
        repaired_anyway.line(b"[ScanFolder][334]Path:C:\\a.exe, Result:2")
        repaired_anyway.summary(files=1, examined=1, fixed=1, roots=1, in_use=0).end()

        in_use = LogWriter()
        in_use.start()
        for path in (b"C:\\pagefile.sys", b"C:\\Users\\a\\NTUSER.DAT"):
            in_use.line(b"[ScanFolder][309]Start Scanning File:" + path)
            in_use.line(b"[ScanFolder][277]In use by the system, not examined:" + path)
        in_use.image(b"C:\\c.exe", 0)
        in_use.summary(files=3, examined=1, safe=1, roots=1, in_use=2).end()

        in_use_miscounted = LogWriter()  # the summary counts one the lines do not name
        in_use_miscounted.start().image(b"C:\\c.exe", 0)
        in_use_miscounted.summary(files=1, examined=1, safe=1, roots=1, in_use=1).end()

        cases = {
            # host: (log, status, attention, mode, (152, 153, in use), note)
            "no-backup": (no_backup, "no_backup", True, "repair", (0, 1, 0),
                          "no backup: not repaired: 1 infected file(s) left as they were"),
            "repaired-anyway": (repaired_anyway, "repaired_no_backup", True, "repair",
                                (1, 0, 0), "repaired without a backup: 1 file(s) repaired"),
            "in-use": (in_use, "clean", False, "repair", (0, 0, 2),
                       "2 file(s) in use by the system"),
            "in-use-miscounted": (in_use_miscounted, "check", False, "repair", (0, 0, 1),
                                  "summary and per-file lines disagree: in_use: summary 1, "
                                  "lines 0"),
        }
        for host, (log, *_rest) in cases.items():
            self.put(host, log)
        files_csv = os.path.join(self.tmp.name, "r.csv")
        html_file = os.path.join(self.tmp.name, "r.html")
        r = self.report(extra=("--csv", files_csv, "--html", html_file))
        self.assertEqual(1, r.returncode)
        for host, (_, status, attention, mode, counts, note) in cases.items():
            with self.subTest(host):
                h = r.hosts[host]
                self.assertEqual((status, attention, mode, counts),
                                 (h["status"], h["attention"], h["mode"],
                                  (h["repaired_no_backup"], h["not_repaired_no_backup"],
                                   h["in_use"])))
                self.assertTrue([n for n in h["notes"] if n.startswith(note)], h["notes"])
        self.assertEqual(["C:\\a.exe"],
                         [f["path"] for f in r.hosts["no-backup"]["not_repaired_no_backup_files"]])
        self.assertEqual(["C:\\pagefile.sys", "C:\\Users\\a\\NTUSER.DAT"],
                         [f["path"] for f in r.hosts["in-use"]["in_use_files"]])
        # The file left infected is not an Error: its library's line is not one.
        self.assertEqual([], r.hosts["no-backup"]["errors"])
        self.assertEqual(["no-backup", "repaired-anyway"], r.order[:2])
        self.assertIn("no-backup: No backup, not repaired C:\\a.exe\n", r.stdout)
        self.assertIn("repaired-anyway: Repaired without a backup C:\\a.exe\n", r.stdout)
        with open(os.path.join(self.tmp.name, "r-files.csv"), encoding="utf-8",
                  newline="") as f:
            kinds = sorted({(row["host"], row["kind"]) for row in csv.DictReader(f)})
        self.assertIn(("no-backup", "No backup, not repaired"), kinds)
        self.assertIn(("repaired-anyway", "Repaired without a backup"), kinds)
        self.assertIn(("in-use", "In use"), kinds)
        with open(html_file, encoding="utf-8") as f:
            page = f.read()
        for table in ("no-backup", "repaired-no-backup", "in-use"):
            self.assertIn('<table id="%s">' % table, page)

    def test_paths_kept_per_run_are_bounded(self):
        """Of a run naming more files of a kind than the report keeps, the
        figures count them all and a note says how many are not listed."""
        listed = 1000
        log = LogWriter()
        log.start()
        for i in range(listed + 7):
            log.line(b"[ScanFolder][299]Not local, not scanned:C:\\cloud\\f%d.exe" % i)
            log.image(b"C:\\bad%d.exe" % i, -1, "Call CreateFile failed: 0x5")
        log.summary(files=2 * listed + 14, examined=listed + 7, error=listed + 7,
                    not_scanned=listed + 7, roots=1).end()
        self.put("many", log)
        r = self.report()
        h = r.hosts["many"]
        self.assertEqual((listed + 7, listed + 7, listed, listed),
                         (h["not_local"], h["error"], len(h["not_local_files"]),
                          len(h["errors"])))
        self.assertEqual({"errors": 7, "not_local": 7}, h["files_left_out"])
        self.assertIn("7 more Error file(s) than the %d listed (the log names them all)" % listed,
                      h["notes"])

    def test_page_notes_and_one_scale_for_every_chart(self):
        """A host that needs attention only for its Errors says so in its
        notes cell; every host's bars are drawn to the fleet's largest
        figure."""
        big = LogWriter()
        clean_run(big, n_safe=40)
        self.put("big", big)
        errors = LogWriter()
        errors.start().image(b"C:\\x.exe", -1, "Call CreateFile failed: 0x5").image(b"C:\\y.exe", 0)
        errors.summary(files=2, examined=2, safe=1, error=1, roots=1).end()
        self.put("errors", errors)
        # Another status first: its Errors are said all the same.
        anyway = LogWriter()
        anyway.start().line(b"[ScanFolder][309]Start Scanning File:C:\\a.exe")
        anyway.line(b"[DisinfectFile][152]No backup kept, repaired anyway:C:\\a.exe")
        anyway.line(b"[ScanFolder][334]Path:C:\\a.exe, Result:2")
        anyway.image(b"C:\\z.exe", -1, "Call CreateFile failed: 0x20")
        anyway.summary(files=2, examined=2, fixed=1, error=1, roots=1).end()
        self.put("anyway", anyway)
        html_file = os.path.join(self.tmp.name, "r.html")
        r = self.report(extra=("--html", html_file))
        self.assertEqual(([], "attention"), (r.hosts["errors"]["notes"],
                                             r.hosts["errors"]["status"]))
        with open(html_file, encoding="utf-8") as f:
            page = f.read()
        row = page[page.index('<tr class="host attention" data-host="errors">'):]
        row = row[:row.index("</tr>")]
        notes = re.findall(r"<li>([^<]*)</li>", row)
        self.assertEqual(1, len(notes), row)
        self.assertIn("1 file(s) with an Error", notes[0])
        self.assertIn("CreateFile failed: 5 (0x5)", notes[0])
        row = page[page.index('data-host="anyway">'):]
        notes = re.findall(r"<li>([^<]*)</li>", row[:row.index("</tr>")])
        self.assertTrue(notes[0].startswith("repaired without a backup"), notes)
        self.assertIn("1 file(s) with an Error, see the errors (all: CreateFile failed: 32 (0x20))",
                      notes)
        widths = {}
        for chart in re.finditer(r'<svg class="chart" data-host="([^"]+)".*?</svg>', page):
            for figure, value, width in re.findall(
                    r'data-figure="(\w+)" data-value="(\d+)" x="\d+" y="\d+" width="(\d+)"',
                    chart.group(0)):
                widths[(chart.group(1), figure)] = (int(value), int(width))
        top_value, top_width = widths[("big", "safe")]
        self.assertEqual(40, top_value)
        # One Safe file of 40 is a bar a fortieth as long (at least 2 pixels).
        self.assertEqual(max(2, round(top_width / 40)), widths[("errors", "safe")][1])
        self.assertEqual(widths[("errors", "safe")], widths[("errors", "error")])


def main():
    global ZQREPORT
    ap = argparse.ArgumentParser()
    ap.add_argument("--zqreport", required=True)
    args, rest = ap.parse_known_args()
    ZQREPORT = os.path.abspath(args.zqreport)
    unittest.main(argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()

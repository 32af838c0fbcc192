#!/usr/bin/env python3
"""zqreport's HTML page opened in headless Chromium: the rendered DOM holds
a row per host, hosts needing attention first, each with its bar chart whose
bars carry the host's figures, the fleet's totals, and the Error table; the
page fits a window 1280 pixels wide (long host names and paths wrap); and no
request leaves the page.

Chromium's network log tells the page's requests (made for a page, with
the page's origin as initiator) from the browser's own (update checks and
the like, "not an origin"); the report page must make none. A probe page
with a remote image, shown first, proves that the page's requests show. And
nothing leaves the machine meanwhile: every host name resolves to a closed
port on 127.0.0.1, which is also the proxy.

usage: report_page_test.py --zqreport PATH --work DIR [--chromium PATH]

Exits 77 (skipped) when Chromium is not installed.
"""
import argparse
import html.parser
import json
import os
import re
import shutil
import subprocess
import sys

SKIP = 77


def stamp(second):
    return b"2026-12-6 09:%02d:%02d 000  " % (second // 60, second % 60)


def write_log(path, messages):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for i, m in enumerate(messages):
            f.write(stamp(i) + m + b"\r\n")


def summary(examined, safe, fixed, error, not_scanned=0, infected=None):
    return (b"Summary...Folders:3, Files:%d, Examined:%d, Safe:%d, Is Fix:%d, %sError:%d, "
            b"Unreadable:0, Not Scanned:%d, Unlisted:0, Roots:1, Seconds:1.500"
            % (examined, examined, safe, fixed,
               b"" if infected is None else b"Infected:%d, " % infected, error, not_scanned))


# A host name and a path far wider than the window, without a space.
LONG_HOST = "workstation-of-the-accounting-department-" * 3 + "example.lan"
LONG_PATH = b"C:\\" + b"\\".join([b"Program_Files_of_a_long_vendor_name"] * 9) + b"\\x.exe"


def make_logs(fetched):
    """Five hosts: clean, repaired, one with Errors (one of them on a very
    long path), one whose check-only run found an infected file, and one
    with a very long name whose run was interrupted."""
    start = [b"Start...", b"[wmain][440]Start Scanning Folder:C:"]
    write_log(os.path.join(fetched, "pc-clean", "ZQCindervane.log"),
              start + [b"[ScanFolder][309]Start Scanning File:C:\\a.exe",
                       b"[ScanFolder][334]Path:C:\\a.exe, Result:0", summary(1, 1, 0, 0),
                       b"End..."])
    write_log(os.path.join(fetched, "pc-repaired", "ZQCindervane.log"),
              start + [b"[ScanFolder][309]Start Scanning File:C:\\b.exe",
                       b"[ScanFolder][334]Path:C:\\b.exe, Result:2",
                       b"[ScanFolder][309]Start Scanning File:C:\\c.exe",
                       b"[ScanFolder][334]Path:C:\\c.exe, Result:0",
                       b"[ScanFolder][313]File path too long, not scanned:C:\\deep\\f.exe",
                       summary(2, 1, 1, 0, 1),
                       b"End..."])
    path = "C:\\\u6d4b\u8bd5\\bad.exe".encode("cp936")
    write_log(os.path.join(fetched, "pc-error", "ZQCindervane.log"),
              start + [b"[ScanFolder][309]Start Scanning File:" + path,
                       b"Call CreateFile failed: 0x5",
                       b"[ScanFolder][334]Path:" + path + b", Result:-1",
                       b"[ScanFolder][309]Start Scanning File:" + LONG_PATH,
                       b"Call CreateFile failed: 0x20",
                       b"[ScanFolder][334]Path:" + LONG_PATH + b", Result:-1",
                       summary(2, 0, 0, 2),
                       b"End..."])
    write_log(os.path.join(fetched, "pc-checked", "20261206T090000Z", "ZQCindervane.log"),
              [b"Start...", b"Version...ZQCindervane 3.1.0, Signatures:1",
               b"Check only: nothing is repaired", start[1],
               b"[ScanFolder][309]Start Scanning File:C:\\d.exe",
               b"[ScanFolder][334]Path:C:\\d.exe, Result:1", summary(1, 0, 0, 0, infected=1),
               b"End..."])
    write_log(os.path.join(fetched, LONG_HOST, "ZQCindervane.log"),
              start + [b"[ScanFolder][309]Start Scanning File:C:\\e.exe",
                       b"[ScanFolder][334]Path:C:\\e.exe, Result:0",
                       b"[wmain][443]Scan interrupted (SIGTERM), ending before the next file",
                       summary(1, 1, 0, 0)])


# Where every request goes: nothing listens on the discard port.
SINK = "127.0.0.1:9"


def page_requests(net_log):
    """The URLs requested for a page, from Chromium's network log: the
    browser's own requests have no origin as initiator."""
    with open(net_log, encoding="utf-8") as f:
        log = json.load(f)
    names = {v: k for k, v in log["constants"]["logEventTypes"].items()}
    urls = []
    for event in log["events"]:
        params = event.get("params") or {}
        if names.get(event["type"]) == "URL_REQUEST_START_JOB" and "url" in params:
            if params.get("initiator", "not an origin") != "not an origin" and \
                    not params["url"].startswith("file:"):
                urls.append(params["url"])
    return urls


def chromium(binary, url, profile, net_log=None, screenshot=None, width=1500):
    cmd = [binary, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
           "--disable-background-networking", "--disable-component-update", "--disable-sync",
           "--disable-default-apps", "--disable-extensions", "--user-data-dir=" + profile,
           "--proxy-server=http://" + SINK, "--host-resolver-rules=MAP * " + SINK,
           "--virtual-time-budget=3000"]
    if net_log:
        cmd += ["--log-net-log=" + net_log]
    if screenshot:
        cmd += ["--screenshot=" + screenshot, "--window-size=%d,700" % width]
    else:
        cmd += ["--dump-dom", "--window-size=%d,700" % width]
    res = subprocess.run(cmd + [url], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         timeout=120)
    return res.stdout.decode("utf-8", "replace")


class Dom(html.parser.HTMLParser):
    """The host rows, in order, with their cells and their chart's bars."""

    def __init__(self):
        super().__init__()
        self.rows, self.errors = [], []
        self.totals = {"cells": {}}
        self.fit = None
        self._row = None
        self._cell = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        classes = (a.get("class") or "").split()
        if tag == "body" and "data-fit" in a:
            self.fit = json.loads(a["data-fit"])
        if tag == "tr" and "totals" in classes:
            self._row = self.totals
        elif tag == "tr" and "host" in classes:
            self._row = {"host": a.get("data-host"), "status": classes[1:], "cells": {},
                         "bars": {}, "charts": 0}
            self.rows.append(self._row)
        elif tag == "tr" and "error" in classes:
            self._row = None
            self.errors.append(a.get("data-host"))
        elif self._row is not None and tag == "td":
            self._cell = (a.get("class") or "").split()[-1:] or [""]
            self._cell = self._cell[0]
        elif self._row is not None and tag == "svg" and "chart" in classes and \
                self._row is not self.totals:
            self._row["charts"] += 1
        elif self._row is not None and tag == "rect" and "bar" in classes:
            self._row["bars"][a.get("data-figure")] = int(a.get("data-value"))

    def handle_endtag(self, tag):
        if tag == "tr":
            self._row = None
        if tag == "td":
            self._cell = None

    def handle_data(self, data):
        if self._row is not None and self._cell:
            self._row["cells"][self._cell] = self._row["cells"].get(self._cell, "") + data


# Run in a copy of the page (the page itself allows no script): how wide the
# document is against the window, and the widest element's right edge.
MEASURE = """<script>
var right = 0;
for (const el of document.querySelectorAll("body *")) {
  right = Math.max(right, el.getBoundingClientRect().right);
}
document.body.setAttribute("data-fit", JSON.stringify({
  scroll: document.documentElement.scrollWidth,
  client: document.documentElement.clientWidth, right: Math.ceil(right)}));
</script>
"""


def measured_copy(page, copy):
    with open(page, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r'<meta http-equiv="Content-Security-Policy"[^>]*>\n', "", text)
    with open(copy, "w", encoding="utf-8") as f:
        f.write(text.replace("</body>", MEASURE + "</body>"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zqreport", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--chromium", default=shutil.which("chromium") or "")
    args = ap.parse_args()
    if not args.chromium:
        print("SKIP: chromium is not installed")
        return SKIP
    work = os.path.abspath(args.work)
    shutil.rmtree(work, ignore_errors=True)
    fetched = os.path.join(work, "fetched")
    make_logs(fetched)
    page, data = os.path.join(work, "report.html"), os.path.join(work, "report.json")
    res = subprocess.run([sys.executable, args.zqreport, fetched, "--html", page, "--json", data],
                         stdout=subprocess.PIPE)
    problems = []
    if res.returncode != 1:
        problems.append("zqreport exit code %d, expected 1 (an Error)" % res.returncode)
    with open(data, encoding="utf-8") as f:
        hosts = json.load(f)

    profile = os.path.join(work, "profile")
    # The network log shows what a page asks for.
    probe, probe_log = os.path.join(work, "probe.html"), os.path.join(work, "probe-net.json")
    with open(probe, "w") as f:
        f.write('<html><body><img src="http://zq-probe.invalid/x.png"></body></html>')
    chromium(args.chromium, "file://" + probe, profile, net_log=probe_log)
    if page_requests(probe_log) != ["http://zq-probe.invalid/x.png"]:
        problems.append("the probe page's request is not in the network log: %r"
                        % page_requests(probe_log))

    page_log = os.path.join(work, "page-net.json")
    dom_text = chromium(args.chromium, "file://" + page, profile, net_log=page_log)
    chromium(args.chromium, "file://" + page, profile, screenshot=os.path.join(work, "report.png"))
    if page_requests(page_log):
        problems.append("requests left the page: %r" % page_requests(page_log))
    with open(os.path.join(work, "dom.html"), "w", encoding="utf-8") as f:
        f.write(dom_text)

    dom = Dom()
    dom.feed(dom_text)
    if [r["host"] for r in dom.rows] != [h["host"] for h in hosts]:
        problems.append("rows %r, expected %r" % ([r["host"] for r in dom.rows],
                                                  [h["host"] for h in hosts]))
    attention = [h["attention"] for h in hosts]
    if sorted(attention, reverse=True) != attention or attention.count(True) != 3:
        problems.append("the hosts needing attention are not first: %r"
                        % [(h["host"], h["status"]) for h in hosts])
    figures = ("examined", "safe", "fixed", "infected", "error", "not_scanned")
    for row, host in zip(dom.rows, hosts):
        want_bars = {k: host[k] for k in figures[1:] + ("unreadable",)}
        if row["charts"] != 1 or row["bars"] != want_bars:
            problems.append("%s: chart %d, bars %r, expected %r"
                            % (row["host"], row["charts"], row["bars"], want_bars))
        for key in figures:
            if row["cells"].get(key) != str(host[key]):
                problems.append("%s: cell %s %r, expected %d" % (row["host"], key,
                                                                row["cells"].get(key), host[key]))
    want_totals = {k: str(sum(h[k] for h in hosts)) for k in figures + ("runs",)}
    got_totals = {k: dom.totals["cells"].get(k) for k in want_totals}
    if got_totals != want_totals or "3 need attention" not in dom.totals["cells"].get("status",
                                                                                       ""):
        problems.append("totals %r, expected %r" % (dom.totals["cells"], want_totals))
    if dom.errors != ["pc-error", "pc-error"] or "\u6d4b\u8bd5" not in dom_text:
        problems.append("error table %r (with the CP936 path decoded)" % dom.errors)

    # The page in a window 1280 pixels wide: nothing wider than the window.
    copy = os.path.join(work, "measured.html")
    measured_copy(page, copy)
    measured = Dom()
    measured.feed(chromium(args.chromium, "file://" + copy, profile, width=1280))
    chromium(args.chromium, "file://" + page, profile,
             screenshot=os.path.join(work, "report-1280.png"), width=1280)
    fit = measured.fit
    if fit is None or not 1200 <= fit["client"] <= 1280:
        problems.append("the page was not measured in a 1280 pixel window: %r" % fit)
    elif fit["scroll"] > fit["client"] or fit["right"] > fit["client"]:
        problems.append("the page is wider than a 1280 pixel window: %r" % fit)
    for p in problems:
        print("FAIL: " + p)
    print("rendered DOM: %s, screenshot: %s" % (os.path.join(work, "dom.html"),
                                                 os.path.join(work, "report.png")))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

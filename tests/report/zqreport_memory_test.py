#!/usr/bin/env python3
"""zqreport over a log of 1 GiB (gzipped, as the play fetches it) in the
memory it needs for a log of 8 MiB: the log, made on the fly from one
stretch of a realistic mix (folders, files that are not images, Safe
images, and in each stretch a few Errors, files not local, unreadable and
in use) repeated, is read as a stream; its figures are all counted, the
files it names are listed up to the report's bound per run, and the peak
memory of the report over it stays within a few MiB of the small log's.

usage: zqreport_memory_test.py --zqreport PATH --work DIR [--gib N]

The gzip it writes is capped (a tenth of the text; the test stops when the
file grows past it) and removed afterwards.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import zlib

MIB = 1 << 20
# The most the peak of the big log's report may exceed the small one's.
SLACK = 24 * MIB
LISTED_PER_RUN = 1000


def stamp(n):
    return b"2026-12-6 %02d:%02d:%02d %03d  " % (4 + n // 3600000 % 20, n // 60000 % 60,
                                                n // 1000 % 60, n % 1000)


def stretch(index):
    """About 1 MiB of lines and what they count."""
    lines, c = [], dict(folders=0, files=0, examined=0, safe=0, error=0, unreadable=0,
                        in_use=0, not_scanned=0)
    folder = 0
    while sum(len(l) for l in lines) < MIB - 4096:
        folder += 1
        base = b"C:\\Users\\operator\\AppData\\Local\\Vendor\\Product\\cache\\s%d\\f%d\\" % (
            index, folder)
        lines.append(b"[ScanFolder][300]Start Scanning Folder:" + base[:-1])
        c["folders"] += 1
        for i in range(10):
            path = base + b"component_%d.%s" % (i, b"dll" if i % 5 else b"exe")
            lines.append(b"[ScanFolder][309]Start Scanning File:" + path)
            c["files"] += 1
            if i < 6:
                lines.append(b"[ScanFolder][338]Not PE-Type, no need to scan")
            else:
                lines.append(b"[ScanFolder][334]Path:" + path + b", Result:0")
                c["examined"] += 1
                c["safe"] += 1
    for i in range(2):
        path = b"C:\\locked\\s%d\\e%d.exe" % (index, i)
        lines += [b"[ScanFolder][309]Start Scanning File:" + path,
                  b"Call CreateFile failed: 0x5", b"[ScanFolder][334]Path:" + path + b", Result:-1",
                  b"[ScanFolder][299]Not local, not scanned:C:\\OneDrive\\s%d\\%d.exe" % (index, i)]
        c["files"] += 1
        c["examined"] += 1
        c["error"] += 1
        c["not_scanned"] += 1
    lines += [b"[ScanFolder][309]Start Scanning File:C:\\pagefile%d.sys" % index,
              b"[CommFunc::IsFilePE][66]Call CreateFile failed: 32",
              b"[ScanFolder][338]Not PE-Type, no need to scan",
              b"[ScanFolder][309]Start Scanning File:C:\\Users\\u%d\\NTUSER.DAT" % index,
              b"[ScanFolder][277]In use by the system, not examined:C:\\Users\\u%d\\NTUSER.DAT"
              % index]
    c["files"] += 2
    c["unreadable"] += 1
    c["in_use"] += 1
    return lines, c


def write_log(path, size, cap):
    """A gzipped log of about `size` bytes of text: returns its figures."""
    pack = zlib.compressobj(1, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
    total = dict(folders=1, files=0, examined=0, safe=0, error=0, unreadable=0, in_use=0,
                 not_scanned=0)
    n = 0
    text = 0
    with open(path, "wb") as f:
        def put(messages):
            nonlocal n, text
            out = bytearray()
            for m in messages:
                out += stamp(n) + m + b"\r\n"
                n += 7
            text += len(out)
            f.write(pack.compress(bytes(out)))
            if f.tell() > cap:
                raise SystemExit("FAIL: the gzip grew past its cap of %d bytes" % cap)

        put([b"Start...", b"Version...ZQCindervane 3.2.0, Signatures:1",
             b"[wmain][440]Start Scanning Folder:C:"])
        # Sixteen distinct stretches, each written again and again.
        stretches = [stretch(i) for i in range(16)]
        i = 0
        while text < size:
            lines, c = stretches[i % len(stretches)]
            put(lines)
            for k, v in c.items():
                total[k] += v
            i += 1
        put([b"Summary...Folders:%d, Files:%d, Examined:%d, Safe:%d, Is Fix:0, Error:%d, "
             b"Unreadable:%d, In use:%d, Not Scanned:%d, Unlisted:0, Roots:1, Seconds:900.000"
             % tuple(total[k] for k in ("folders", "files", "examined", "safe", "error",
                                         "unreadable", "in_use", "not_scanned")),
             b"End..."])
        f.write(pack.flush())
    return total, text


def report_peak(zqreport, folder, out):
    """(exit code, peak resident memory in bytes) of zqreport over `folder`."""
    proc = subprocess.Popen([sys.executable, zqreport, folder, "--json", out],
                            stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return proc.returncode, usage.ru_maxrss * 1024


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--zqreport", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--gib", type=float, default=1.0)
    args = ap.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    problems = []
    try:
        peaks = {}
        for host, size in (("small", 8 * MIB), ("big", int(args.gib * 1024 * MIB))):
            folder = os.path.join(args.work, host)
            os.makedirs(folder)
            figures, text = write_log(os.path.join(folder, "ZQCindervane.log.gz"), size,
                                      cap=max(64 * MIB, size // 10))
            out = os.path.join(args.work, host + ".json")
            code, peaks[host] = report_peak(args.zqreport, folder, out)
            with open(out, encoding="utf-8") as f:
                h = json.load(f)[0]
            print("%s: %.0f MiB of log text, peak %.1f MiB" % (host, text / MIB,
                                                               peaks[host] / MIB))
            got = {k: h[k] for k in figures}
            if code != 1 or got != figures or h["source"] != "summary" or h["notes"] and \
                    any("disagree" in n for n in h["notes"]):
                problems.append("%s: exit %d, figures %r, expected %r; notes %r"
                                % (host, code, got, figures, h["notes"]))
            listed = min(LISTED_PER_RUN, figures["error"])
            if (len(h["errors"]), len(h["not_local_files"])) != (listed, listed):
                problems.append("%s: %d errors and %d not local files listed, expected %d"
                                % (host, len(h["errors"]), len(h["not_local_files"]), listed))
            shutil.rmtree(folder)
        if peaks["big"] > peaks["small"] + SLACK:
            problems.append("peak memory %.1f MiB over the big log, %.1f MiB over the small "
                            "one: more than %d MiB apart" % (peaks["big"] / MIB,
                                                             peaks["small"] / MIB, SLACK // MIB))
    finally:
        shutil.rmtree(args.work, ignore_errors=True)
    for p in problems:
        print("FAIL: " + p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

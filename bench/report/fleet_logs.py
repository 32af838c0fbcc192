"""Logs of the program's line layout, of a given size and a realistic mix,
written as a stream (a chunk at a time, never whole in memory): what a
scan of a Windows or Linux disk logs, folder by folder, file by file.

The mix follows a real check of a workstation (545,305 lines, 61 MB): six
files in ten are not images (309 then 338), nearly all others Safe (309
then 334 Result:0), a folder line for every dozen files, and rare lines of
their own: files that cannot be read, Errors, links and folders of the
system passed over, files whose data is not on the disk, files in use by
the system, and on an infected host a few infected (check) or repaired
(repair) files. The run ends with its summary, whose figures are those of
the lines written, and "End...".
"""
import random

WINDOWS_FOLDERS = (
    b"C:\\Windows\\WinSxS\\amd64_microsoft-windows-servicingstack_31bf3856ad364e35_10.0.19041.",
    b"C:\\Program Files (x86)\\Common Files\\Microsoft Shared\\ClickToRun\\Updates\\",
    b"C:\\Users\\operator\\AppData\\Local\\Microsoft\\Edge\\User Data\\Default\\Cache\\",
    b"C:\\ProgramData\\Package Cache\\{4B6C7001-C7D6-3710-913E-5BC23FCE91E6}v14.",
    b"D:\\Projects\\accounting\\2026\\exports\\quarterly\\",
)
LINUX_FOLDERS = (
    b"/usr/lib/x86_64-linux-gnu/gdk-pixbuf-2.0/2.10.0/loaders/",
    b"/home/operator/.cache/mozilla/firefox/profile.default-release/cache2/entries/",
    b"/srv/share/accounting/2026/exports/quarterly/",
    b"/opt/vendor/tools/windows-installers/archive/",
)
NAMES = (b"setup", b"msedge_elf", b"readme", b"vcruntime140", b"ui-strings", b"report-q3",
         b"libpixbufloader", b"install", b"thumbnail", b"update-helper")
EXTENSIONS = (b".exe", b".dll", b".txt", b".dat", b".json", b".png", b".mui", b".cab")


def summary_line(c, check, seconds):
    return (b"Summary...Folders:%d, Files:%d, Examined:%d, Safe:%d, Is Fix:%d, %sError:%d, "
            b"Unreadable:%d, In use:%d, Not Scanned:%d, Unlisted:0, Roots:1, Seconds:%.3f"
            % (c["folders"], c["files"], c["examined"], c["safe"], c["fixed"],
               b"Infected:%d, " % c["infected"] if check else b"", c["error"],
               c["unreadable"], c["in_use"], c["not_scanned"], seconds))


def log_chunks(size, seed=0, windows=True, check=False, infected=0, chunk=1 << 20,
               start_ms=4 * 3600 * 1000):
    """Yields the log in chunks of about `chunk` bytes: a run of about
    `size` bytes of lines (CR LF on Windows, LF on Linux), then its summary
    and "End...". `infected` files are found (check) or repaired (repair)
    along the way; the run starts `start_ms` after midnight. The figures of
    the run are in the returned counts of the generator
    (StopIteration.value)."""
    rnd = random.Random(seed)
    eol = b"\r\n" if windows else b"\n"
    folders = WINDOWS_FOLDERS if windows else LINUX_FOLDERS
    root = b"C:" if windows else b"/"
    c = dict(folders=1, files=0, examined=0, safe=0, fixed=0, infected=0, error=0,
             unreadable=0, in_use=0, not_scanned=0)
    ms = [start_ms]
    out = bytearray()
    written = [0]

    def line(message):
        t = ms[0]
        ms[0] += 1 + (t % 3)
        out.extend(b"2026-12-6 %02d:%02d:%02d %03d  " % (t // 3600000 % 24, t // 60000 % 60,
                                                       t // 1000 % 60, t % 1000))
        out.extend(message)
        out.extend(eol)

    line(b"Start...")
    line(b"Version...ZQCindervane 3.2.0, Signatures:1")
    if check:
        line(b"Check only: nothing is repaired")
    line(b"[wmain][440]Start Scanning Folder:" + root)
    # Where the rare infected files go: spread over the run.
    infect_every = max(1, size // 150 // (infected + 1)) if infected else 0
    folder_no = 0
    while written[0] + len(out) < size:
        folder_no += 1
        folder = b"%s%d%s" % (rnd.choice(folders), folder_no, b"\\" if windows else b"/")
        c["folders"] += 1
        line(b"[ScanFolder][300]Start Scanning Folder:" + folder[:-1])
        rare = rnd.random()
        if rare < 0.003:
            c["not_scanned"] += 1
            line(b"[ScanFolder][294]Link, not entered:" + folder + b"link")
        elif rare < 0.004:
            c["not_scanned"] += 1
            line(b"[ScanFolder][276]Folder kept by the system, not listed:" + folder + b"System")
        elif rare < 0.006:
            c["not_scanned"] += 1
            line(b"[ScanFolder][299]Not local, not scanned:" + folder + b"cloud.exe")
        for i in range(rnd.randrange(6, 18)):
            path = folder + rnd.choice(NAMES) + b"%d" % i + rnd.choice(EXTENSIONS)
            c["files"] += 1
            line(b"[ScanFolder][309]Start Scanning File:" + path)
            kind = rnd.random()
            if infect_every and c["infected"] + c["fixed"] < infected and \
                    c["files"] % infect_every == 0:
                c["examined"] += 1
                if check:
                    c["infected"] += 1
                    line(b"[ScanFolder][334]Path:" + path + b", Result:1")
                else:
                    c["fixed"] += 1
                    line(b"[ScanFolder][334]Path:" + path + b", Result:2")
            elif kind < 0.6:
                line(b"[ScanFolder][338]Not PE-Type, no need to scan")
            elif kind < 0.9997:
                c["examined"] += 1
                c["safe"] += 1
                line(b"[ScanFolder][334]Path:" + path + b", Result:0")
            elif kind < 0.99985:
                c["unreadable"] += 1
                line(b"[CommFunc::IsFilePE][66]Call CreateFile failed: 32")
                line(b"[ScanFolder][338]Not PE-Type, no need to scan")
            elif kind < 0.99995:
                c["in_use"] += 1
                line(b"[ScanFolder][277]In use by the system, not examined:" + path)
            else:
                c["examined"] += 1
                c["error"] += 1
                line(b"Call CreateFile failed: 0x5")
                line(b"[ScanFolder][334]Path:" + path + b", Result:-1")
        if len(out) >= chunk:
            written[0] += len(out)
            yield bytes(out)
            out.clear()
    line(summary_line(c, check, (ms[0] - start_ms) / 1000.0))
    line(b"End...")
    yield bytes(out)
    return c

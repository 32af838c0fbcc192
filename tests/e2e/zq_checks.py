"""Checks of one end-to-end run of the program, and the verdict it gives.

Its exit, the log's form, the log and the console against what the tree model
expects, the files against snapshots taken before and after, the quarantine's
backups and records; and the one verdict every driver prints.
"""
import difflib
import hashlib
import json
import os
import re
import shutil
import struct

SKIP = 77  # the exit code CTest reads as a skipped test
DETECTION_NAME = "3rd.Infect.Cindervane"

# Log line as written: "Y-M-D hh:mm:ss mmm  message" and CR LF.
TIMESTAMP = re.compile(rb"^\d{4}-\d{1,2}-\d{1,2} \d\d:\d\d:\d\d \d\d\d  ")

SUMMARY_FIELDS = ("Folders", "Files", "Examined", "Safe", "Is Fix", "Error", "Unreadable",
                  "In use", "Not Scanned", "Unlisted", "Roots", "Seconds")
# A run that only checks counts its infected images after Is Fix.
CHECK_SUMMARY_FIELDS = ("Folders", "Files", "Examined", "Safe", "Is Fix", "Infected", "Error",
                        "Unreadable", "In use", "Not Scanned", "Unlisted", "Roots", "Seconds")


def project_version():
    """The project version of the top CMakeLists.txt, which the program
    names in its log and for --version."""
    top = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "CMakeLists.txt")
    with open(top, encoding="utf-8") as f:
        m = re.search(r"^project\(ZQCindervane VERSION ([0-9.]+)", f.read(), re.M)
    if not m:
        raise ValueError("no project version in %s" % top)
    return m.group(1)


class Failure(Exception):
    """A run that cannot go on: a tool it needs did not do its part."""


def log(*parts):
    print(*parts, flush=True)


def decode(b):
    return b.decode("utf-8", "surrogateescape")


def parse_summary(line):
    """{field: text} of a "Summary..." line, or None."""
    if not line.startswith("Summary..."):
        return None
    fields = {}
    for item in line[len("Summary..."):].split(", "):
        name, _, value = item.partition(":")
        fields[name] = value
    return fields if tuple(fields) in (SUMMARY_FIELDS, CHECK_SUMMARY_FIELDS) else None


# The stand-in quarantine library's backups ("*.quar"): a 48-byte header
# (magic, version 1, header size 48, original size, MD5 of the original,
# flags 0, reserved 0; little-endian), then the original XORed with the key
# at offset % 16. Read here from that description, independently of the C++
# reader.
BACKUP_MAGIC = b"ZQQB\r\n\x1a\n"
BACKUP_KEY = bytes([0xA5, 0x3C, 0x96, 0x5A, 0x0F, 0xE1, 0x78, 0xC3,
                    0x2D, 0xB4, 0x69, 0xD2, 0x4B, 0x87, 0x1E, 0xF0])


def backup_sha256(path):
    """SHA-256 of the original held in a backup, or "damaged backup: why"."""
    chunk_size = 1 << 20  # a multiple of the key's 16 bytes
    key = int.from_bytes(BACKUP_KEY * (chunk_size // 16), "little")
    with open(path, "rb") as f:
        header = f.read(48)
        if len(header) < 48 or header[:8] != BACKUP_MAGIC:
            return "damaged backup: no header"
        version, header_size, size = struct.unpack_from("<IIQ", header, 8)
        flags, reserved = struct.unpack_from("<II", header, 40)
        if (version, header_size, flags, reserved) != (1, 48, 0, 0):
            return "damaged backup: header %r" % header
        h, md5, done = hashlib.sha256(), hashlib.md5(), 0
        while True:
            chunk = f.read(chunk_size)
            if not chunk:
                break
            plain = (int.from_bytes(chunk, "little") ^ key).to_bytes(chunk_size, "little")
            plain = plain[:len(chunk)]
            h.update(plain)
            md5.update(plain)
            done += len(chunk)
    if done != size:
        return "damaged backup: %d bytes, header says %d" % (done, size)
    if md5.digest() != header[24:40]:
        return "damaged backup: MD5 differs from its header's"
    return h.hexdigest()


def read_log(path, encode_back):
    """Log messages with their timestamps removed; every line must end in
    CR LF and carry a well-formed timestamp. Returns (lines, problems)."""
    problems = []
    if not os.path.exists(path):
        return [], ["no log file at %s" % path]
    with open(path, "rb") as f:
        data = f.read()
    if data and not data.endswith(b"\r\n"):
        problems.append("log does not end with CR LF")
    out = []
    for raw in data.split(b"\r\n")[:-1] if data else []:
        if b"\n" in raw or b"\r" in raw:
            problems.append("stray line break in log line %r" % raw)
        m = TIMESTAMP.match(raw)
        if not m:
            problems.append("log line without timestamp: %r" % raw)
            out.append(encode_back(raw))
            continue
        out.append(encode_back(raw[m.end():]))
    return out, problems


def diff(name, want, got):
    if want == got:
        return []
    text = list(difflib.unified_diff(want, got, "expected " + name, "actual " + name,
                                     lineterm="", n=2))
    text = [t if len(t) <= 160 else t[:120] + "...(%d chars)" % len(t) for t in text]
    if len(text) > 60:
        text = text[:60] + ["... (%d more diff lines)" % (len(text) - 60)]
    return ["%s differs:" % name] + text


def check_files(tree, before, after, quarantine_dirs, allowed_new, infected_copies,
                check_only=False):
    """Every entry of the tree as it must be afterwards (as it was, when the
    run only checked: `check_only`), everything else that was there before
    unchanged, nothing new but `allowed_new` (snapshot keys) and the
    quarantine's files; the quarantine holds exactly the infected files as
    they were (when `infected_copies`, a list of (drive, entry), is given)."""
    problems = []
    known = set()
    for d_index, d in enumerate(tree.drives):
        for parts, e in d.by_parts.items():
            if not parts:
                continue
            key = (d_index, os.path.join(*parts))
            known.add(key)
            if e.is_dir:
                continue
            got = after.get(key)
            want = e.before if check_only else e.want_after
            if got is None:
                problems.append("file vanished: %s" % tree.shown(d, parts))
            elif got != want:
                what = "not repaired to its host" if want != e.before else "changed"
                if got == e.before:
                    what = "left unchanged, must be repaired"
                problems.append("%s: %s" % (what, tree.shown(d, parts)))
    for key, value in sorted(before.items()):
        if key not in known and after.get(key) != value:
            problems.append("changed or removed: %r" % (key,))
    quarantine_files = []
    for key, value in sorted(after.items()):
        if key in known or key in before or key in allowed_new:
            continue
        if any(key[0] == qd and (key[1] == qp or key[1].startswith(qp + os.sep))
               for qd, qp in quarantine_dirs):
            if value != "dir" and not value.startswith("link:"):
                if key[1].endswith(".quar"):  # a backup: what it holds
                    value = backup_sha256(os.path.join(tree.drives[key[0]].host_dir, key[1]))
                quarantine_files.append(value)
            continue
        problems.append("unexpected new entry: %r" % (key,))
    if infected_copies is not None:
        want = sorted(e.before for _, e in infected_copies)
        got = sorted(h for h in quarantine_files if h in set(want))
        if got != want:
            problems.append("quarantine copies: want the %d infected files as they were, found "
                            "%d of them (%d files in the quarantine)" %
                            (len(want), len(got), len(quarantine_files)))
    elif quarantine_files:
        problems.append("quarantine written without a library: %d files" % len(quarantine_files))
    return problems


def check_quarantine_records(tree, folder, infected):
    """The stand-in library's records ("<name>.txt" beside "<name>.quar"):
    one per infected file, naming its path, the detection name and the value
    0, its backup holding the file as it was."""
    problems = []
    records = {}
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        if not name.endswith(".txt"):
            continue
        with open(os.path.join(folder, name), "rb") as f:
            fields = dict(l.split("=", 1) for l in decode(f.read()).splitlines() if "=" in l)
        records.setdefault(fields.get("Original"), []).append(fields)
    for drive, e in infected:
        shown = tree.shown(drive, e.parts)
        got = records.pop(e.quarantine_path or shown, [])
        if len(got) != 1:
            problems.append("%d quarantine records for %s" % (len(got), shown))
            continue
        rec = got[0]
        if rec.get("Detection") != DETECTION_NAME or rec.get("Value") != "0":
            problems.append("quarantine record of %s: %r" % (shown, rec))
        copy = os.path.join(folder, rec.get("Copy", "?"))
        if rec.get("Format") != "ZQQB 1":
            problems.append("quarantine record of %s: format %r" % (shown, rec.get("Format")))
        if not os.path.isfile(copy) or backup_sha256(copy) != e.before:
            problems.append("quarantine copy of %s does not hold the infected file" % shown)
    for original in records:
        problems.append("quarantine record for a file not infected: %r" % original)
    return problems


def clear_kept_logs(work):
    """Removes the logs that an earlier run kept (see keep_log)."""
    shutil.rmtree(os.path.join(work, "logs"), ignore_errors=True)


def keep_log(work, case_name, log_path, want_log):
    """Keeps the run's log as <work>/logs/<case>/ZQCindervane.log, with the
    figures this test expects of it in expected.json beside it, for the
    tests of the log's readers (zqreport)."""
    folder = os.path.join(work, "logs", re.sub(r"[^A-Za-z0-9]+", "_", case_name).strip("_"))
    os.makedirs(folder, exist_ok=True)
    if os.path.exists(log_path):
        with open(log_path, "rb") as src, open(os.path.join(folder, "ZQCindervane.log"),
                                                "wb") as dst:
            dst.write(src.read())
    summary = next(f for f in map(parse_summary, want_log) if f)
    errors = []
    for before, line in zip(want_log, want_log[1:]):
        if line.startswith("[ScanFolder][334]Path:") and line.endswith(", Result:-1"):
            errors.append({"path": line[len("[ScanFolder][334]Path:"):-len(", Result:-1")],
                           "line": before})
    expected = {"examined": int(summary["Examined"]), "safe": int(summary["Safe"]),
                "fixed": int(summary["Is Fix"]), "error": int(summary["Error"]),
                "unreadable": int(summary["Unreadable"]),
                "not_scanned": int(summary["Not Scanned"]), "errors": errors}
    if "Infected" in summary:  # a run that only checked
        expected["infected"] = int(summary["Infected"])
    with open(os.path.join(folder, "expected.json"), "w", encoding="utf-8") as f:
        json.dump(expected, f, indent=1, ensure_ascii=False)


def run_problems(res, log_path, encode_back, stderr_checked=True, exit_code=0):
    """What is wrong with a finished run whatever its tree: an exit code
    other than `exit_code` (unless None), anything on standard error (unless not
    `stderr_checked`: Wine may write there), a log that is missing or not
    well-formed. Returns (problems, log lines)."""
    problems = []
    if exit_code is not None and res.returncode != exit_code:
        problems.append("exit code %d, expected %d" % (res.returncode, exit_code))
    if stderr_checked and res.stderr:
        problems.append("standard error: %r" % res.stderr[:500])
    log_lines, log_problems = read_log(log_path, encode_back)
    return problems + log_problems, log_lines


def verdict(tree, res, log_path, *, init_lines, object_ready, pause_text, console_eol,
            snapshots, quarantine_dirs, allowed_new, infected, records_folder,
            readdir_order=False, keep=None, check_only=False, exit_code=None):
    """The problems of a whole run over `tree` (see run_problems): the log
    and the console exactly as the tree expects them, every file as it must
    be afterwards (`snapshots`: before, after), and when the quarantine
    object was ready (`object_ready`), the `infected` files (drive, entry)
    held in the quarantine with one record each in `records_folder`.
    `keep`: (work folder, case name) to keep the log for the log's readers.
    `check_only`: the run only checked; every file must be as it was, and
    nothing may be in the quarantine (pass object_ready False). `exit_code`:
    the status the run must end with; by default 0, or for a run that only
    checked the one its expected log gives (expected_check_exit).
    Returns (problems, log lines)."""
    problems, log_lines = run_problems(res, log_path, tree.decode, exit_code=None)
    want_log, want_console = tree.expected(log_lines, init_lines, object_ready=object_ready,
                                           pause_text=pause_text, console_eol=console_eol,
                                           readdir_order=readdir_order, check_only=check_only)
    if exit_code is None:
        exit_code = expected_check_exit(want_log) if check_only else 0
    if res.returncode != exit_code:
        problems.insert(0, "exit code %d, expected %d" % (res.returncode, exit_code))
    if keep is not None:
        keep_log(*keep, log_path, want_log)
    problems += diff("log", want_log, log_lines)
    problems += diff("console", tree.decode(want_console).split("\n"),
                     tree.decode(res.stdout).split("\n"))
    before, after = snapshots
    problems += check_files(tree, before, after, quarantine_dirs=quarantine_dirs,
                            allowed_new=allowed_new,
                            infected_copies=infected if object_ready else None,
                            check_only=check_only)
    if object_ready:
        problems += check_quarantine_records(tree, records_folder, infected)
    return problems, log_lines


def expected_check_exit(want_log):
    """The exit status of a run that only checked, from the log it must
    write: 2 when an image gave Error, a file could not be read, or nothing
    was scanned (no root, or a root that could not be listed); else 1 when
    an image was infected; else 0."""
    summary = next(f for f in map(parse_summary, want_log) if f)
    root_unlisted = any(a.startswith("[wmain][440]") and
                        b.startswith(("[ScanFolder][275]", "[ScanFolder][296]"))
                        for a, b in zip(want_log, want_log[1:]))
    if (int(summary["Error"]) or int(summary["Unreadable"]) or int(summary["Roots"]) == 0 or
            root_unlisted):
        return 2
    return 1 if int(summary.get("Infected", 0)) else 0


def switch_cases(slash):
    """The switches that end without a scan, as (arguments, what must come
    of them): "usage" on standard output with status 0, "version" likewise,
    "bad" the usage on standard error with status 2. `slash`: switches may
    begin with "/" (Windows)."""
    cases = [(["--help"], "usage"), (["-h"], "usage"), (["/?"], "usage"),
             (["--version"], "version"), (["--check", "--help"], "usage"),
             (["--bogus"], "bad"), (["-x"], "bad"), (["--check", "--no-such-switch"], "bad")]
    if slash:
        cases += [(["/bogus"], "bad"), (["/CHECK", "/?"], "usage")]
    return cases


def switch_problems(what, res, log_path, eol, stderr_checked=True):
    """What is wrong with a run that `what` (see switch_cases) must end
    without a scan: its status, the usage or version on the right stream
    (lines ended by `eol`), nothing on the other, no scan and no log."""
    problems = []
    want_exit = 2 if what == "bad" else 0
    if res.returncode != want_exit:
        problems.append("exit code %d, expected %d" % (res.returncode, want_exit))
    shown, other = (res.stderr, res.stdout) if what == "bad" else (res.stdout, res.stderr)
    if what == "version":
        want = b"ZQCindervane " + project_version().encode() + eol
        if shown != want:
            problems.append("version %r, expected %r" % (shown, want))
    elif what == "bad" and not shown.startswith(b"ZQCindervane: unknown switch: "):
        problems.append("the bad switch is not named first: %r" % shown[:300])
    elif not ((shown.startswith(b"Usage: ") or what == "bad") and b"--check" in shown and
              b"Usage: " in shown and
              b"Exit status" in shown and shown.endswith(eol) and
              shown.count(eol) == shown.count(b"\n")):
        problems.append("no usage: %r" % shown[:300])
    if other and (what == "bad" or stderr_checked):
        problems.append("the other stream holds %r" % other[:300])
    if b"Start Scanning" in res.stdout:
        problems.append("a scan ran")
    if os.path.exists(log_path):
        problems.append("a log was written")
    return problems


def report(case, problems):
    if problems:
        log("FAIL %s" % case)
        for p in problems:
            log("   ", p)
        return False
    log("ok   %s" % case)
    return True

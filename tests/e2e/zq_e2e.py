"""Shared pieces of the end-to-end runs of the real program (native and Wine).

A run is described by a Tree: the drives the program will find (root text and
the host folder behind it) and the entries in them, each with what the scan
must do with it. From the Tree come the expected console text and log lines;
the walk order inside a folder is the directory search's own, so it is taken
from the host's readdir order (native) or read back from the log (Wine), and
every other detail of the output must then match exactly. Snapshots before and after the run prove that infected samples were
repaired to their hosts byte for byte, that the quarantine holds the infected
files as they were, and that nothing else changed.
"""
import difflib
import hashlib
import json
import os
import random
import re
import shutil
import stat
import struct
import subprocess
import sys

SIZE_LIMIT = 104857600
WINDOW_OFFSET, WINDOW_SIZE = 1024, 1076
RESULT_WORD = {0: "Safe", 2: "Is Fix", -1: "Error"}
DETECTION_NAME = "3rd.Infect.Cindervane"

# Log line as written: "Y-M-D hh:mm:ss mmm  message" and CR LF.
TIMESTAMP = re.compile(rb"^\d{4}-\d{1,2}-\d{1,2} \d\d:\d\d:\d\d \d\d\d  ")


# The deepest test folders are a few thousand levels down.
sys.setrecursionlimit(max(sys.getrecursionlimit(), 20000))


class Failure(Exception):
    pass


def log(*parts):
    print(*parts, flush=True)


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        while True:
            chunk = f.read(1 << 20)
            if not chunk:
                return h.hexdigest()
            h.update(chunk)


def open_dir(root, parts, create=False):
    """A descriptor of folder root/parts..., walked one name at a time so that
    paths beyond the system's path limit work; makes missing folders."""
    fd = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
    try:
        for name in parts:
            if create:
                try:
                    os.mkdir(name, dir_fd=fd)
                except FileExistsError:
                    pass
            sub = os.open(name, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW, dir_fd=fd)
            os.close(fd)
            fd = sub
    except BaseException:
        os.close(fd)
        raise
    return fd


def write_at(root, parts, pieces, size):
    """Writes root/parts... as a sparse file: the pieces at their offsets."""
    dfd = open_dir(root, parts[:-1], create=True)
    try:
        fd = os.open(parts[-1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644, dir_fd=dfd)
    finally:
        os.close(dfd)
    try:
        for offset, data in pieces:
            os.pwrite(fd, data, offset)
        os.ftruncate(fd, size)
    finally:
        os.close(fd)


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


def sha256_at(dir_fd, name):
    fd = os.open(name, os.O_RDONLY | os.O_NOFOLLOW, dir_fd=dir_fd)
    with os.fdopen(fd, "rb") as f:
        h = hashlib.sha256()
        while True:
            chunk = f.read(1 << 20)
            if not chunk:
                return h.hexdigest()
            h.update(chunk)


# ---------------------------------------------------------------------------
# Samples
# ---------------------------------------------------------------------------

class Samples:
    """Builds sample files through zqsample, plus an independent Python
    infector that follows the file layout (so a misreading shared by
    the sample builder and the repair would still show)."""

    def __init__(self, command, scratch, env=None):
        """`command`: how to start zqsample (a list: under Wine, the wine
        loader and zqsample.exe). It runs in `scratch` on names relative to
        it, so the same calls work for a Windows build."""
        self.command = list(command)
        self.scratch = scratch
        self.env = env
        os.makedirs(scratch, exist_ok=True)
        self._cache = {}
        self.pattern = self._make("pattern", "OUT")[0]
        signature = self._run_text("signature")
        if hashlib.md5(self.pattern).hexdigest() != signature:
            raise Failure("zqsample's window pattern does not have the test signature %s" % signature)

    def _run_text(self, *args):
        """What zqsample prints for `args`, without the line end."""
        out = subprocess.run(self.command + list(args), cwd=self.scratch, env=self.env,
                             check=True, stdout=subprocess.PIPE).stdout
        return out.decode("ascii").strip()

    def _make(self, *args, host=None, outputs=("OUT",)):
        """Runs zqsample once per distinct call; `args` name the files HOST
        and OUT... symbolically. Returns the outputs' bytes (None when the
        tool did not write one)."""
        key = (args, hashlib.sha256(host).hexdigest() if host is not None else None)
        if key not in self._cache:
            names = {"HOST": "host.bin", "OUT": "out.bin", "REPAIRED": "repaired.bin"}
            for name in names.values():
                if os.path.exists(os.path.join(self.scratch, name)):
                    os.unlink(os.path.join(self.scratch, name))
            if host is not None:
                with open(os.path.join(self.scratch, names["HOST"]), "wb") as f:
                    f.write(host)
            argv = [names.get(a, a) if isinstance(a, str) else str(a) for a in args]
            subprocess.run(self.command + argv, cwd=self.scratch, env=self.env, check=True,
                           stdout=subprocess.DEVNULL)
            got = []
            for out in outputs:
                path = os.path.join(self.scratch, names[out])
                if os.path.exists(path):
                    with open(path, "rb") as f:
                        got.append(f.read())
                else:
                    got.append(None)
            self._cache[key] = got
        return self._cache[key]

    def pe(self, size, dll=False, zm=False, seed=1):
        return self._make("pe", "OUT", "--size", size, *(["--dll"] if dll else []),
                          *(["--zm"] if zm else []), "--seed", seed)[0]

    def infected(self, host, *options):
        """(infected bytes, the host) from zqsample infect; the host is what
        the repair must give back (None for a corrupt trailer). The saved
        head never exceeds the host here, so the builder's own idea of the
        repaired file must be the host too."""
        corrupt = "--head-end" in options or "--head-offset" in options
        extra = () if corrupt else ("--repaired", "REPAIRED")
        data, repaired = self._make("infect", "HOST", "OUT", *options, *extra, host=host,
                                    outputs=("OUT", "REPAIRED"))
        if corrupt:
            return data, None
        if repaired != host:
            raise Failure("zqsample's repaired form differs from the host")
        return data, host

    # The independent infector -------------------------------------------

    @staticmethod
    def pe_header(dll=False, pe32plus=False):
        """DOS header with e_lfanew 0x80 and the 248-byte NT block."""
        h = bytearray(0x80 + 248)
        h[0:2] = b"MZ"
        struct.pack_into("<I", h, 0x3C, 0x80)
        h[0x80:0x84] = b"PE\0\0"
        machine = 0x8664 if pe32plus else 0x14C
        chars = 0x0022 if pe32plus else 0x0102
        if dll:
            chars |= 0x2000
        struct.pack_into("<HHIIIHH", h, 0x84, machine, 1, 0, 0, 0, 0xF0 if pe32plus else 0xE0,
                         chars)
        struct.pack_into("<H", h, 0x98, 0x20B if pe32plus else 0x10B)
        return bytes(h)

    @staticmethod
    def rand(n, seed):
        return random.Random(seed).randbytes(n)

    def host_image(self, size, seed, pe32plus=False):
        body = bytearray(self.rand(size, seed))
        head = self.pe_header(pe32plus=pe32plus)
        body[:len(head)] = head
        return bytes(body)

    def py_infect(self, host_head, host_size, head_len, seed, garbage=0):
        """Pieces of an infected file: [(offset, bytes)], its total size.

        The host is `host_head` followed by zeros up to `host_size` (so a
        large host costs nothing on a sparse filesystem). The infector's
        bytes cover [0, head_len) and carry the window pattern; the saved
        head holds the host's first head_len bytes, 768 of them scrambled.
        """
        if head_len > len(host_head):
            raise ValueError("saved head must lie within the host's given bytes")
        r = random.Random(seed)
        infector = bytearray(r.randbytes(head_len))
        infector[:0x80 + 248] = self.pe_header()
        infector[WINDOW_OFFSET:WINDOW_OFFSET + WINDOW_SIZE] = self.pattern
        head_offset = host_size
        head_end = host_size + head_len
        size = head_end + garbage + 48
        key = bytearray(r.randbytes(16))
        struct.pack_into("<II", key, 4, head_offset, head_end)
        trailer = bytes(key) + r.randbytes(32)
        saved = bytearray(host_head[:head_len])
        for i in range(768):
            mixed = saved[i] ^ key[i % 16]
            saved[i] = ((mixed >> 3) | (mixed << 5)) & 0xFF
        pieces = [(0, bytes(infector))]
        if head_len < len(host_head):
            pieces.append((head_len, host_head[head_len:]))
        pieces.append((head_offset, bytes(saved)))
        if garbage:
            pieces.append((head_end, r.randbytes(garbage)))
        pieces.append((size - 48, trailer))
        return pieces, size


def sha256_pieces(pieces, size):
    """SHA-256 of a sparse file made of `pieces`, without making it."""
    h = hashlib.sha256()
    pos = 0
    zeros = bytes(1 << 20)
    for offset, data in sorted(pieces):
        while pos < offset:
            n = min(len(zeros), offset - pos)
            h.update(zeros[:n])
            pos += n
        h.update(data)
        pos = offset + len(data)
    while pos < size:
        n = min(len(zeros), size - pos)
        h.update(zeros[:n])
        pos += n
    return h.hexdigest()


# ---------------------------------------------------------------------------
# The tree and what the scan must do with it
# ---------------------------------------------------------------------------

class Entry:
    """One file or folder. `expect` says what the scan does with it:

    "walk"   folder: logged and entered
    "silent" file or folder: passed over without any line (dot name, over the
             size limit, the Windows directory, below a skipped folder)
    "nonpe"  file: logged, not an image (309 and 338)
    "image"  file: examined; `result` is 0, 2 or -1
    "lines"  file or folder: exactly `lines` (messages without the prefix
             bookkeeping; for rules the program decides, e.g. a path too long)
    """

    def __init__(self, parts, is_dir, expect, result=None, lines=None, infected=False,
                 extra_lines=()):
        self.parts = tuple(parts)
        self.is_dir = is_dir
        self.expect = expect
        self.result = result
        self.lines = lines
        self.infected = infected
        self.extra_lines = list(extra_lines)  # lines of the repair, before 334
        self.children = []
        # file state
        self.before = None      # sha256 before the run
        self.want_after = None  # sha256 the file must have afterwards


class Drive:
    def __init__(self, root_text, host_dir):
        self.root_text = root_text
        self.host_dir = host_dir
        self.root = Entry((), True, "walk")
        self.by_parts = {(): self.root}


class Tree:
    """The drives of one run. `sep` is the program's path separator,
    `encode` turns a displayed path into the bytes the program writes and
    `decode` reads them back."""

    def __init__(self, sep, encode, decode):
        self.sep = sep
        self.encode = encode
        self.decode = decode
        self.drives = []

    def add_drive(self, root_text, host_dir):
        os.makedirs(host_dir, exist_ok=True)
        d = Drive(root_text, host_dir)
        self.drives.append(d)
        return d

    def shown(self, drive, parts):
        return drive.root_text + "".join(self.sep + p for p in parts)

    def _parent(self, drive, parts):
        parent = drive.by_parts.get(tuple(parts[:-1]))
        if parent is None:
            parent = self.folder(drive, parts[:-1])
        return parent

    def _add(self, drive, entry):
        if entry.parts in drive.by_parts:
            raise ValueError("entry made twice: %r" % (entry.parts,))
        parent = self._parent(drive, entry.parts)
        if parent.expect in ("silent",) and entry.expect != "silent":
            raise ValueError("entry below a skipped folder must be silent: %r" % (entry.parts,))
        parent.children.append(entry)
        drive.by_parts[entry.parts] = entry
        return entry

    def folder(self, drive, parts, expect=None, lines=None, made=False):
        """A folder (made unless `made`: the caller made it already)."""
        parts = tuple(parts)
        if parts in drive.by_parts:
            return drive.by_parts[parts]
        if expect is None:
            parent = self._parent(drive, parts)
            expect = "silent" if parent.expect == "silent" or parts[-1].startswith(".") else "walk"
        if not made:
            os.close(open_dir(drive.host_dir, parts, create=True))
        return self._add(drive, Entry(parts, True, expect, lines=lines))

    def file(self, drive, path, data=None, expect="nonpe", result=None, after=None,
             infected=False, extra_lines=(), pieces=None, size=None, lines=None):
        """Adds a file. `data`, or sparse `pieces` and `size`. `after` is the
        content (bytes) or sha256 (str) the file must have after the run;
        default unchanged."""
        parts = tuple(path.split("/"))
        entry = Entry(parts, False, expect, result=result, infected=infected,
                      extra_lines=extra_lines, lines=lines)
        self._parent(drive, parts)
        if pieces is None:
            pieces, size = [(0, data)], len(data)
        write_at(drive.host_dir, parts, pieces, size)
        dfd = open_dir(drive.host_dir, parts[:-1])
        try:
            entry.before = sha256_at(dfd, parts[-1])
        finally:
            os.close(dfd)
        if after is None:
            entry.want_after = entry.before
        elif isinstance(after, bytes):
            entry.want_after = hashlib.sha256(after).hexdigest()
        else:
            entry.want_after = after
        return self._add(drive, entry)

    def link(self, drive, path, target, lines=None):
        """A symbolic link. Registered (with the `lines` it must yield) only
        where the program sees it as a folder; otherwise it is simply one of
        the things that must be unchanged afterwards."""
        parts = tuple(path.split("/"))
        self._parent(drive, parts)
        dfd = open_dir(drive.host_dir, parts[:-1])
        try:
            os.symlink(target, parts[-1], dir_fd=dfd)
        finally:
            os.close(dfd)
        if lines is not None:
            self._add(drive, Entry(parts, True, "lines", lines=lines))

    def _own_lines(self, drive, e):
        """The log lines an entry writes before its children's."""
        p = self.shown(drive, e.parts)
        if e.lines is not None:
            return [l.replace("{path}", p) for l in e.lines]
        if e.expect == "silent":
            return []
        if e.is_dir:
            return ["[ScanFolder][300]Start Scanning Folder:%s" % p]
        first = "[ScanFolder][309]Start Scanning File:%s" % p
        if e.expect == "nonpe":
            return [first, "[ScanFolder][338]Not PE-Type, no need to scan"]
        return [first]  # an image: the flow's and the result line follow

    # The lines that carry a path keep it whole; any other message is cut
    # at 499 bytes.
    PATH_LINES = ("[ScanFolder][296]", "[ScanFolder][297]", "[ScanFolder][298]", "[ScanFolder][300]",
                  "[ScanFolder][309]", "[ScanFolder][313]", "[ScanFolder][334]",
                  "[wmain][440]")

    def logged(self, line):
        if line.startswith(self.PATH_LINES):
            return line
        return self.decode(self.encode(line)[:499])

    def expected(self, actual_log, init_lines, object_ready, pause_text, console_eol,
                 readdir_order=False):
        """(expected log lines, expected console bytes). The order of the
        entries of a folder is the host's readdir order (`readdir_order`) or
        else the order in which `actual_log` (decoded lines) first names them."""
        index = {}
        for i, line in enumerate(actual_log):
            index.setdefault(line, i)
        lines, console = ["Start..."], [b"Start Scanning..."]
        state = {"first_infected": True}

        def logged_order(drive, folder):
            def key_of(e):
                own = [self.logged(l) for l in self._own_lines(drive, e)]
                return (index.get(own[0], len(actual_log)) if own else -1, e.parts[-1])
            return sorted(folder.children, key=key_of)

        def search_order(drive, folder):
            """The host's readdir order of the folder (what the native
            program's search returns)."""
            fd = open_dir(drive.host_dir, folder.parts)
            try:
                order = {name: i for i, name in enumerate(os.listdir(fd))}
            finally:
                os.close(fd)
            return sorted(folder.children, key=lambda e: order.get(e.parts[-1], -1))

        def walk(drive, folder):
            if len(folder.children) < 2:
                children = folder.children
            else:
                children = (search_order if readdir_order else logged_order)(drive, folder)
            for e in children:
                lines.extend(self._own_lines(drive, e))
                if e.is_dir:
                    if e.expect == "walk":
                        walk(drive, e)
                    continue
                if e.expect != "image":
                    continue
                if e.infected:
                    if state["first_infected"]:
                        lines.extend(init_lines)
                        state["first_infected"] = False
                    if not object_ready:
                        lines.append("[DruquaraWrap::QuarantineFile][147]Do init failed")
                lines.extend(e.extra_lines)
                shown = self.shown(drive, e.parts)
                lines.append("[ScanFolder][334]Path:%s, Result:%d" % (shown, e.result))
                console.append(b"Path:" + self.encode(shown) + b"\tResult:" +
                               RESULT_WORD[e.result].encode() + console_eol)

        for d in self.drives:
            lines.append("[wmain][440]Start Scanning Folder:%s" % d.root_text)
            walk(d, d.root)
        lines.append(summary_line(lines, actual_log))
        lines.append("End...")
        console.append(b"End Scanning...")
        console.append(pause_text)
        lines = [self.logged(l) for l in lines]
        return lines, b"".join(console)

    # Snapshots ------------------------------------------------------------

    def snapshot(self):
        """{(drive index, relative path): sha256 | "dir" | "link:<target>" |
        "special:..."};
        other filesystems mounted inside (proc, sys) are left out."""
        out = {}
        for i, d in enumerate(self.drives):
            device = os.stat(d.host_dir).st_dev
            for top, dirs, files, dfd in os.fwalk(d.host_dir):
                rel_top = os.path.relpath(top, d.host_dir)
                keep = []
                for name in dirs + files:
                    rel = os.path.normpath(os.path.join(rel_top, name))
                    st = os.stat(name, dir_fd=dfd, follow_symlinks=False)
                    if stat.S_ISLNK(st.st_mode):
                        out[(i, rel)] = "link:" + os.readlink(name, dir_fd=dfd)
                    elif stat.S_ISDIR(st.st_mode):
                        if st.st_dev == device:
                            out[(i, rel)] = "dir"
                            keep.append(name)
                    elif stat.S_ISREG(st.st_mode):
                        out[(i, rel)] = sha256_at(dfd, name)
                    else:  # a pipe or a device: never opened
                        out[(i, rel)] = "special:%o:%x" % (st.st_mode, st.st_rdev)
                dirs[:] = [n for n in dirs if n in keep]
        return out


# ---------------------------------------------------------------------------
# Checks
# ---------------------------------------------------------------------------

SUMMARY_FIELDS = ("Folders", "Files", "Examined", "Safe", "Is Fix", "Error", "Unreadable",
                  "Not Scanned", "Unlisted", "Seconds")


def parse_summary(line):
    """{field: text} of a "Summary..." line, or None."""
    if not line.startswith("Summary..."):
        return None
    fields = {}
    for item in line[len("Summary..."):].split(", "):
        name, _, value = item.partition(":")
        fields[name] = value
    return fields if tuple(fields) == SUMMARY_FIELDS else None


def summary_line(lines, actual_log):
    """The summary line the program must write after `lines` (the expected
    log so far): every count follows from those lines, except the files
    passed over without a line (over the size limit), so Files must be at
    least the files logged and is taken from the program when it is; the
    seconds are the program's own when they have the right form."""
    def count(prefix):
        return sum(1 for l in lines if l.startswith(prefix))

    results = [l.rsplit(", Result:", 1)[1] for l in lines if l.startswith("[ScanFolder][334]")]
    roots_too_long = sum(1 for a, b in zip(lines, lines[1:])
                         if a.startswith("[wmain][440]") and b.startswith("[ScanFolder][296]"))
    unreadable = sum(count("[CommFunc::IsFilePE][%d]" % n) for n in (66, 71, 79, 86))
    logged_files = count("[ScanFolder][309]") + count("[ScanFolder][313]")
    actual = next((f for f in map(parse_summary, actual_log) if f), {})
    files = actual.get("Files", "")
    if not (files.isdigit() and int(files) >= logged_files):
        files = "at least %d" % logged_files
    seconds = actual.get("Seconds", "")
    if not re.fullmatch(r"[0-9]+\.[0-9]{3}", seconds):
        seconds = "S.mmm"
    values = [count("[wmain][440]") + count("[ScanFolder][300]") - count("[ScanFolder][275]") -
              roots_too_long,
              files, len(results), results.count("0"), results.count("2"), results.count("-1"),
              unreadable,
              count("[ScanFolder][296]") + count("[ScanFolder][297]") + count("[ScanFolder][298]") +
              count("[ScanFolder][313]"),
              count("[ScanFolder][275]"), seconds]
    return "Summary..." + ", ".join("%s:%s" % (n, v) for n, v in zip(SUMMARY_FIELDS, values))


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
    with open(os.path.join(folder, "expected.json"), "w", encoding="utf-8") as f:
        json.dump(expected, f, indent=1, ensure_ascii=False)


def decode(b):
    return b.decode("utf-8", "surrogateescape")


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


def check_files(tree, before, after, quarantine_dirs, allowed_new, infected_copies):
    """Every entry of the tree as it must be afterwards, everything else that
    was there before unchanged, nothing new but `allowed_new` (snapshot keys)
    and the quarantine's files; the quarantine holds exactly the infected
    files as they were (when `infected_copies`, a list of (drive, entry), is
    given)."""
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
            if got is None:
                problems.append("file vanished: %s" % tree.shown(d, parts))
            elif got != e.want_after:
                what = "not repaired to its host" if e.want_after != e.before else "changed"
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
        got = records.pop(shown, [])
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


def report(case, problems):
    if problems:
        log("FAIL %s" % case)
        for p in problems:
            log("   ", p)
        return False
    log("ok   %s" % case)
    return True


# ---------------------------------------------------------------------------
# The common data tree
# ---------------------------------------------------------------------------

def populate_data(tree, drive, prefix, samples, big=True, read_only=None):
    """Clean images, DLLs, other files, dot names and infected samples below
    `prefix` ("" for the drive's top). Returns the infected files the scan
    examines, as (drive, entry): the quarantine must hold each as it was.

    `read_only`, when given, is (make, line): `make(host path)` makes a file
    that the program can read but not open for writing, and `line` is what
    the repair then logs; such an infected file is quarantined and reported
    Error, and stays as it was."""
    def at(rel):
        return prefix + "/" + rel if prefix else rel

    quarantined = []

    def infected(rel, built, result=2, extra_lines=()):
        data, host = built
        e = tree.file(drive, at(rel), data, expect="image", result=result, infected=True,
                      after=host if result == 2 else None, extra_lines=extra_lines)
        quarantined.append((drive, e))
        return e

    # Clean images, also the smallest and the window's edge.
    tree.file(drive, at("clean/small512.exe"), samples.pe(512, seed=2), "image", 0)
    tree.file(drive, at("clean/app.exe"), samples.pe(40000, seed=3), "image", 0)
    tree.file(drive, at("clean/zm.exe"), samples.pe(3000, zm=True, seed=4), "image", 0)
    tree.file(drive, at("clean/x64.exe"), samples.host_image(9000, 5, pe32plus=True), "image", 0)
    cut = bytearray(samples.pe(2099, seed=6))
    cut[WINDOW_OFFSET:] = samples.pattern[:2099 - WINDOW_OFFSET]
    tree.file(drive, at("clean/pattern_cut_2099.exe"), bytes(cut), "image", 0)
    # Not examined.
    tree.file(drive, at("clean/lib.dll"), samples.pe(5000, dll=True, seed=7))
    tree.file(drive, at("clean/mz511.exe"), samples.pe(511, seed=8))
    tree.file(drive, at("clean/readme.txt"), b"not an image\r\n" * 100)
    tree.file(drive, at("clean/empty.bin"), b"")
    bad_lfanew = bytearray(samples.pe(4000, seed=9))
    struct.pack_into("<i", bad_lfanew, 0x3C, -8)
    tree.file(drive, at("clean/negative_lfanew.exe"), bytes(bad_lfanew))
    tree.file(drive, at("clean/.hidden.exe"), samples.pe(3000, seed=10), "silent")
    tree.folder(drive, tuple(at("empty").split("/")))
    tree.file(drive, at("\u6d4b\u8bd5/\u7a0b\u5e8f.exe"), samples.pe(2500, seed=11), "image", 0)

    # Infected samples: the sample builder's and the independent infector's.
    infected("infected/whole_head.exe", samples.infected(samples.pe(6000, seed=20), "--seed", 20))
    infected("infected/short_head.exe",
             samples.infected(samples.pe(9000, seed=21), "--head-len", 2100, "--garbage", 300,
                              "--seed", 21))
    infected("infected/deep/er/still/nested.exe",
             samples.infected(samples.pe(3333, seed=22), "--seed", 22))
    for name, host, head_len, garbage, seed in (("py_long_head.exe", samples.host_image(20000, 23),
                                                 5000, 100, 23),
                                                ("py_x64_host.exe",
                                                 samples.host_image(7000, 24, pe32plus=True),
                                                 2500, 0, 24)):
        pieces, size = samples.py_infect(host, len(host), head_len, seed, garbage)
        data = bytearray(size)
        for off, chunk in pieces:
            data[off:off + len(chunk)] = chunk
        infected("infected/" + name, (bytes(data), host))
    infected("Windows/in_a_windows_folder.exe",
             samples.infected(samples.pe(4000, seed=25), "--seed", 25))
    # A trailer that points past the end: quarantined, then the repair refuses.
    bad, _ = samples.infected(samples.pe(5000, seed=26), "--seed", 26)
    bad = samples.infected(samples.pe(5000, seed=26), "--seed", 26, "--head-end", len(bad) + 1)
    infected("infected/trailer_past_end.exe", bad, result=-1,
             extra_lines=["May get invalid info"])
    if read_only is not None:
        make, line = read_only
        e = infected("infected/read_only.exe",
                     samples.infected(samples.pe(5000, seed=32), "--seed", 32), result=-1,
                     extra_lines=[line])
        e.want_after = e.before
        make(os.path.join(drive.host_dir, *e.parts))
    # Infected, but never examined.
    dll, _ = samples.infected(samples.pe(5000, seed=27), "--seed", 27)
    dll = bytearray(dll)
    dll[0x80 + 22 + 1] |= 0x20  # IMAGE_FILE_DLL
    tree.file(drive, at("infected/infected.dll"), bytes(dll))
    tree.file(drive, at("infected/.hidden_infected.exe"),
              samples.infected(samples.pe(5000, seed=28), "--seed", 28)[0], "silent")
    tree.folder(drive, tuple(at("infected/.hidden_folder").split("/")))
    tree.file(drive, at("infected/.hidden_folder/infected.exe"),
              samples.infected(samples.pe(5000, seed=29), "--seed", 29)[0], "silent")
    if big:
        # Sparse: one byte over the size limit (passed over) and exactly at
        # it (examined, quarantined and repaired).
        head = samples.host_image(8192, 30)
        over, size = samples.py_infect(head, SIZE_LIMIT + 1 - 48 - 4096, 4096, 30)
        assert size == SIZE_LIMIT + 1
        tree.file(drive, at("infected/big/over_limit.exe"), pieces=over, size=size,
                  expect="silent")
        host_size = SIZE_LIMIT - 48 - 4096
        at_limit, size = samples.py_infect(head, host_size, 4096, 31)
        assert size == SIZE_LIMIT
        e = tree.file(drive, at("infected/big/at_limit.exe"), pieces=at_limit, size=size,
                      expect="image", result=2, infected=True,
                      after=sha256_pieces([(0, head)], host_size))
        quarantined.append((drive, e))
    return quarantined


def populate_deep(tree, drive, samples, file_chars, search_suffix_len=None):
    """Paths at the program's limits. `file_chars` is its file-path buffer
    (terminator included): a path one shorter is examined, one of that length
    is passed over with a line. With `search_suffix_len`, the same for a
    folder against the 4096-character search text. Also the deepest nesting
    of one-character folders that still leaves room for a file."""
    sep = tree.sep

    def chain(top, width, room):
        """Folders of `width` characters below `top` while `room` remains."""
        parts = list(top)
        while len(tree.shown(drive, parts)) + 1 + width + room <= file_chars - 1:
            parts.append(("%03d" % len(parts)) + "n" * (width - 3))
        tree.folder(drive, tuple(parts))
        return parts

    # Long names up to the limit.
    width = 100 if file_chars > 1000 else 50
    parts = chain(("deep",), width, 64 if file_chars > 1000 else 40)
    folder_len = len(tree.shown(drive, parts))
    fits = file_chars - 1 - folder_len - 1
    tree.file(drive, "/".join(parts + ["f" * (fits - 4) + ".exe"]), samples.pe(3000, seed=50),
              "image", 0)
    tree.file(drive, "/".join(parts + ["g" * (fits - 3) + ".exe"]), samples.pe(3000, seed=51),
              "lines", lines=["[ScanFolder][313]File path too long, not scanned:{path}"])
    if search_suffix_len is not None:
        # The search text (folder, separator, name, suffix) must stay below 4096.
        room = 4096 - 1 - search_suffix_len - folder_len - 1
        tree.folder(drive, tuple(parts + ["h" * room]))
        tree.folder(drive, tuple(parts + ["i" * (room + 1)]), expect="lines",
                    lines=["[ScanFolder][296]Folder path too long, not scanned:{path}"])

    # The deepest nesting: one-character folders, made in one pass.
    parts = ["nest"]
    tree.folder(drive, tuple(parts))
    fd = open_dir(drive.host_dir, parts)
    try:
        while len(tree.shown(drive, parts)) + 2 + 1 + len("x.exe") <= file_chars - 1:
            os.mkdir("a", dir_fd=fd)
            sub = os.open("a", os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = sub
            parts.append("a")
            tree.folder(drive, tuple(parts), made=True)
    finally:
        os.close(fd)
    tree.file(drive, "/".join(parts + ["x.exe"]), samples.pe(2200, seed=52), "image", 0)

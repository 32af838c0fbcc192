"""The tree model of an end-to-end run and what the scan must make of it.

A run is described by a Tree: the drives the program will find (root text and
the host folder behind it) and the entries in them, each with what the scan
must do with it (an Expect, and for an examined image its Result). From the
Tree come the expected console text and log lines; the walk order inside a
folder is the directory search's own, so it is taken from the host's readdir
order (native) or read back from the log (Wine), and every other detail of the
output must then match exactly. Snapshots before and after the run prove that
infected samples were repaired to their hosts byte for byte, that the
quarantine holds the infected files as they were, and that nothing else
changed.
"""
import enum
import hashlib
import os
import re
import stat
import sys

from zq_checks import CHECK_SUMMARY_FIELDS, SUMMARY_FIELDS, parse_summary, project_version

# The deepest test folders are a few thousand levels down.
sys.setrecursionlimit(max(sys.getrecursionlimit(), 20000))


class Expect(enum.Enum):
    """What the scan does with an entry."""
    WALK = "walk"      # folder: logged and entered
    SILENT = "silent"  # file or folder: passed over without any line (dot name,
    #                    over the size limit, the Windows directory, below a
    #                    skipped folder)
    NONPE = "nonpe"    # file: logged, not an image (309 and 338)
    IMAGE = "image"    # file: examined, with a Result
    LINES = "lines"    # file or folder: exactly the entry's `lines` (messages
    #                    without the prefix bookkeeping; for rules the program
    #                    decides, e.g. a path too long)


class Result(enum.IntEnum):
    """An examined image's result: its number in the log, its word on the
    console."""
    SAFE = 0
    INFECTED = 1  # a run that only checks: infected, left as it is
    FIXED = 2
    ERROR = -1

    @property
    def word(self):
        return {Result.SAFE: "Safe", Result.INFECTED: "Infected", Result.FIXED: "Is Fix",
                Result.ERROR: "Error"}[self]


# The line after "Start...": the programs these tests run carry the
# production signature and the test signature.
VERSION_LINE = "Version...ZQCindervane %s, Signatures:2" % project_version()
# The line after it in a run that only checks.
CHECK_LINE = "Check only: nothing is repaired"


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



def sha256_at(dir_fd, name):
    fd = os.open(name, os.O_RDONLY | os.O_NOFOLLOW, dir_fd=dir_fd)
    with os.fdopen(fd, "rb") as f:
        h = hashlib.sha256()
        while True:
            chunk = f.read(1 << 20)
            if not chunk:
                return h.hexdigest()
            h.update(chunk)


class Entry:
    """One file or folder: `expect` (an Expect) says what the scan does with
    it, `result` (a Result) what an examined image gives, `lines` the lines
    of an Expect.LINES entry."""

    def __init__(self, parts, is_dir, expect, result=None, lines=None, infected=False,
                 extra_lines=()):
        self.parts = tuple(parts)
        self.is_dir = is_dir
        if not isinstance(expect, Expect) or (result is not None and
                                              not isinstance(result, Result)):
            raise TypeError("expect and result are an Expect and a Result: %r %r" %
                            (expect, result))
        self.expect = expect
        self.result = result
        self.lines = lines
        self.infected = infected
        self.extra_lines = list(extra_lines)  # lines of the repair, before 334
        #                                        (none when the run only checks)
        self.quarantine_path = None  # the path the quarantine library gets, when not the shown one
        self.children = []
        # file state
        self.before = None      # sha256 before the run
        self.want_after = None  # sha256 the file must have afterwards


class Drive:
    def __init__(self, root_text, host_dir):
        self.root_text = root_text
        self.host_dir = host_dir
        self.root = Entry((), True, Expect.WALK)
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
        if parent.expect == Expect.SILENT and entry.expect != Expect.SILENT:
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
            expect = (Expect.SILENT if parent.expect == Expect.SILENT or parts[-1].startswith(".")
                      else Expect.WALK)
        if not made:
            os.close(open_dir(drive.host_dir, parts, create=True))
        return self._add(drive, Entry(parts, True, expect, lines=lines))

    def file(self, drive, path, data=None, expect=Expect.NONPE, result=None, after=None,
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
            self._add(drive, Entry(parts, True, Expect.LINES, lines=lines))

    def _own_lines(self, drive, e):
        """The log lines an entry writes before its children's."""
        p = self.shown(drive, e.parts)
        if e.lines is not None:
            return [l.replace("{path}", p) for l in e.lines]
        if e.expect == Expect.SILENT:
            return []
        if e.is_dir:
            return ["[ScanFolder][300]Start Scanning Folder:%s" % p]
        first = "[ScanFolder][309]Start Scanning File:%s" % p
        if e.expect == Expect.NONPE:
            return [first, "[ScanFolder][338]Not PE-Type, no need to scan"]
        return [first]  # an image: the flow's and the result line follow

    # The lines that carry a path keep it whole; any other message is cut
    # at 499 bytes.
    PATH_LINES = ("[ScanFolder][276]", "[ScanFolder][294]", "[ScanFolder][296]",
                  "[ScanFolder][297]", "[ScanFolder][298]", "[ScanFolder][299]",
                  "[ScanFolder][300]", "[ScanFolder][309]", "[ScanFolder][313]",
                  "[ScanFolder][334]", "[wmain][440]", "[DisinfectFile][152]",
                  "[DisinfectFile][153]")

    def logged(self, line):
        if line.startswith(self.PATH_LINES):
            return line
        return self.decode(self.encode(line)[:499])

    def expected(self, actual_log, init_lines, object_ready, pause_text, console_eol,
                 readdir_order=False, check_only=False):
        """(expected log lines, expected console bytes). The order of the
        entries of a folder is the host's readdir order (`readdir_order`) or
        else the order in which `actual_log` (decoded lines) first names them.
        `check_only`: the run only checks (--check): an infected image is
        Infected, and nothing of the quarantine or the repair is logged."""
        index = {}
        for i, line in enumerate(actual_log):
            index.setdefault(line, i)
        lines, console = ["Start...", VERSION_LINE], [b"Start Scanning..."]
        if check_only:
            lines.append(CHECK_LINE)
        state = {"first_infected": True, "unlogged_files": 0}

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
            for e in folder.children:
                # A file the walk meets but passes over without a line: over
                # the size limit (a dot name is not met at all).
                if (not e.is_dir and e.expect == Expect.SILENT and
                        not e.parts[-1].startswith(".")):
                    state["unlogged_files"] += 1
            if len(folder.children) < 2:
                children = folder.children
            else:
                children = (search_order if readdir_order else logged_order)(drive, folder)
            for e in children:
                lines.extend(self._own_lines(drive, e))
                if e.is_dir:
                    if e.expect == Expect.WALK:
                        walk(drive, e)
                    continue
                if e.expect != Expect.IMAGE:
                    continue
                result = e.result
                if check_only and e.infected:
                    result = Result.INFECTED
                elif e.infected:
                    if state["first_infected"]:
                        lines.extend(init_lines)
                        state["first_infected"] = False
                    if not object_ready:
                        lines.append("[DruquaraWrap::QuarantineFile][147]Do init failed")
                    lines.extend(e.extra_lines)
                shown = self.shown(drive, e.parts)
                if e.infected and not check_only and not object_ready and result == Result.FIXED:
                    # Repaired though no backup was kept: the log says so.
                    lines.append("[DisinfectFile][152]No backup kept, repaired anyway:%s" % shown)
                lines.append("[ScanFolder][334]Path:%s, Result:%d" % (shown, result))
                console.append(b"Path:" + self.encode(shown) + b"\tResult:" +
                               result.word.encode() + console_eol)

        for d in self.drives:
            lines.append("[wmain][440]Start Scanning Folder:%s" % d.root_text)
            walk(d, d.root)
        lines.append(summary_line(lines, actual_log, check_only,
                                  unlogged_files=state["unlogged_files"]))
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


def summary_line(lines, actual_log, check_only=False, unlogged_files=0):
    """The summary line the program must write after `lines` (the expected
    log so far): every count follows from those lines and, for Files, the
    `unlogged_files` the walk meets and passes over without a line (over the
    size limit); the seconds are the program's own when they have the right
    form. A run that only checks (`check_only`) counts its Infected images
    after Is Fix."""
    def count(prefix):
        return sum(1 for l in lines if l.startswith(prefix))

    results = [l.rsplit(", Result:", 1)[1] for l in lines if l.startswith("[ScanFolder][334]")]
    roots_too_long = sum(1 for a, b in zip(lines, lines[1:])
                         if a.startswith("[wmain][440]") and b.startswith("[ScanFolder][296]"))
    unreadable = sum(count("[CommFunc::IsFilePE][%d]" % n) for n in (66, 71, 79, 86))
    files = count("[ScanFolder][309]") + count("[ScanFolder][313]") + unlogged_files
    actual = next((f for f in map(parse_summary, actual_log) if f), {})
    seconds = actual.get("Seconds", "")
    if not re.fullmatch(r"[0-9]+\.[0-9]{3}", seconds):
        seconds = "S.mmm"
    values = {"Folders": count("[wmain][440]") + count("[ScanFolder][300]") -
                         count("[ScanFolder][275]") - roots_too_long,
              "Files": files, "Examined": len(results), "Safe": results.count("0"),
              "Is Fix": results.count("2"), "Infected": results.count("1"),
              "Error": results.count("-1"), "Unreadable": unreadable,
              "In use": count("[ScanFolder][277]"),
              "Not Scanned": sum(count("[ScanFolder][%d]" % n)
                                 for n in (276, 294, 296, 297, 298, 299, 313)),
              "Unlisted": count("[ScanFolder][275]"), "Roots": count("[wmain][440]"),
              "Seconds": seconds}
    fields = CHECK_SUMMARY_FIELDS if check_only else SUMMARY_FIELDS
    return "Summary..." + ", ".join("%s:%s" % (n, values[n]) for n in fields)

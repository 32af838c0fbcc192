"""The trees the end-to-end runs scan.

The common data tree (clean images, DLLs, other files, dot names, infected
samples) and the paths at the program's limits.
"""
import os
import struct

from zq_samples import SIZE_LIMIT, WINDOW_OFFSET, sha256_pieces
from zq_tree import Expect, Result, open_dir


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

    def clean(rel, data):
        tree.file(drive, at(rel), data, Expect.IMAGE, Result.SAFE)

    def infected(rel, built, result=Result.FIXED, extra_lines=()):
        data, host = built
        e = tree.file(drive, at(rel), data, expect=Expect.IMAGE, result=result, infected=True,
                      after=host if result == Result.FIXED else None, extra_lines=extra_lines)
        quarantined.append((drive, e))
        return e

    # Clean images, also the smallest and the window's edge.
    clean("clean/small512.exe", samples.pe(512, seed=2))
    clean("clean/app.exe", samples.pe(40000, seed=3))
    clean("clean/zm.exe", samples.pe(3000, zm=True, seed=4))
    clean("clean/x64.exe", samples.host_image(9000, 5, pe32plus=True))
    cut = bytearray(samples.pe(2099, seed=6))
    cut[WINDOW_OFFSET:] = samples.pattern[:2099 - WINDOW_OFFSET]
    clean("clean/pattern_cut_2099.exe", bytes(cut))
    # Not examined.
    tree.file(drive, at("clean/lib.dll"), samples.pe(5000, dll=True, seed=7))
    tree.file(drive, at("clean/mz511.exe"), samples.pe(511, seed=8))
    tree.file(drive, at("clean/readme.txt"), b"not an image\r\n" * 100)
    tree.file(drive, at("clean/empty.bin"), b"")
    bad_lfanew = bytearray(samples.pe(4000, seed=9))
    struct.pack_into("<i", bad_lfanew, 0x3C, -8)
    tree.file(drive, at("clean/negative_lfanew.exe"), bytes(bad_lfanew))
    tree.file(drive, at("clean/.hidden.exe"), samples.pe(3000, seed=10), Expect.SILENT)
    tree.folder(drive, tuple(at("empty").split("/")))
    clean("\u6d4b\u8bd5/\u7a0b\u5e8f.exe", samples.pe(2500, seed=11))

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
    infected("infected/trailer_past_end.exe", bad, result=Result.ERROR,
             extra_lines=["May get invalid info"])
    if read_only is not None:
        make, line = read_only
        e = infected("infected/read_only.exe",
                     samples.infected(samples.pe(5000, seed=32), "--seed", 32),
                     result=Result.ERROR, extra_lines=[line])
        e.want_after = e.before
        make(os.path.join(drive.host_dir, *e.parts))
    # Infected, but never examined.
    dll, _ = samples.infected(samples.pe(5000, seed=27), "--seed", 27)
    dll = bytearray(dll)
    dll[0x80 + 22 + 1] |= 0x20  # IMAGE_FILE_DLL
    tree.file(drive, at("infected/infected.dll"), bytes(dll))
    tree.file(drive, at("infected/.hidden_infected.exe"),
              samples.infected(samples.pe(5000, seed=28), "--seed", 28)[0], Expect.SILENT)
    tree.folder(drive, tuple(at("infected/.hidden_folder").split("/")))
    tree.file(drive, at("infected/.hidden_folder/infected.exe"),
              samples.infected(samples.pe(5000, seed=29), "--seed", 29)[0], Expect.SILENT)
    if big:
        # Sparse: one byte over the size limit (passed over) and exactly at
        # it (examined, quarantined and repaired).
        head = samples.host_image(8192, 30)
        over, size = samples.py_infect(head, SIZE_LIMIT + 1 - 48 - 4096, 4096, 30)
        assert size == SIZE_LIMIT + 1
        tree.file(drive, at("infected/big/over_limit.exe"), pieces=over, size=size,
                  expect=Expect.SILENT)
        host_size = SIZE_LIMIT - 48 - 4096
        at_limit, size = samples.py_infect(head, host_size, 4096, 31)
        assert size == SIZE_LIMIT
        e = tree.file(drive, at("infected/big/at_limit.exe"), pieces=at_limit, size=size,
                      expect=Expect.IMAGE, result=Result.FIXED, infected=True,
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
              Expect.IMAGE, Result.SAFE)
    tree.file(drive, "/".join(parts + ["g" * (fits - 3) + ".exe"]), samples.pe(3000, seed=51),
              Expect.LINES, lines=["[ScanFolder][313]File path too long, not scanned:{path}"])
    if search_suffix_len is not None:
        # The search text (folder, separator, name, suffix) must stay below 4096.
        room = 4096 - 1 - search_suffix_len - folder_len - 1
        tree.folder(drive, tuple(parts + ["h" * room]))
        tree.folder(drive, tuple(parts + ["i" * (room + 1)]), expect=Expect.LINES,
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
    tree.file(drive, "/".join(parts + ["x.exe"]), samples.pe(2200, seed=52), Expect.IMAGE,
              Result.SAFE)


def populate_windows_names(tree, drive, samples):
    """Windows paths whose plain form does not name the file: a folder path
    past MAX_PATH, names that end with a dot or a space, and device names
    ("COM1.exe", "NUL.exe", a folder "con"). Each is examined through its
    extended form; an infected one is repaired, and the quarantine library
    gets the extended form of its path. Returns the infected files, as
    populate_data does."""
    quarantined = []

    def extended(e):
        return "\\\\?\\" + tree.shown(drive, e.parts)

    def infected(rel, seed):
        host = samples.pe(4000 + seed, seed=seed)
        data, _ = samples.infected(host, "--seed", seed)
        e = tree.file(drive, rel, data, expect=Expect.IMAGE, result=Result.FIXED, infected=True,
                      after=host)
        e.quarantine_path = extended(e)
        quarantined.append((drive, e))

    # A folder path of some 700 characters.
    parts = ["long"]
    while len(tree.shown(drive, parts)) < 700:
        parts.append(("%03d" % len(parts)) + "l" * 97)
    tree.folder(drive, tuple(parts))
    tree.file(drive, "/".join(parts + ["clean.exe"]), samples.pe(3000, seed=60), Expect.IMAGE,
              Result.SAFE)
    infected("/".join(parts + ["infected.exe"]), 61)
    # Names the plain form would change or take for a device.
    infected("names/dot.exe.", 62)
    infected("names/COM1.exe", 63)
    tree.file(drive, "names/space.exe ", samples.pe(3000, seed=64), Expect.IMAGE, Result.SAFE)
    tree.file(drive, "names/NUL.exe", samples.pe(3000, seed=65), Expect.IMAGE, Result.SAFE)
    tree.file(drive, "names/con/tool.exe", samples.pe(3000, seed=66), Expect.IMAGE, Result.SAFE)
    return quarantined

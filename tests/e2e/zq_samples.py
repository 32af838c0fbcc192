"""Sample files of the end-to-end runs.

Images and infected files built by zqsample, and an independent Python
infector that follows the file layout.
"""
import hashlib
import os
import random
import struct
import subprocess

from zq_checks import Failure

SIZE_LIMIT = 104857600
WINDOW_OFFSET, WINDOW_SIZE = 1024, 1076


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

#!/usr/bin/env python3
"""The Linux bundle's programs are fully static (no program interpreter, no
library loaded: they start on any x86-64 Linux, in an empty chroot too), and
its shared library needs the C library alone, from the glibc version that
the README states on: no libstdc++ or libgcc_s among the libraries it loads,
and the newest GLIBC_ symbol version it asks for is exactly the stated floor
(newer would not start where the README says it does; older means the README
asks too much).

usage: glibc_floor.py --readme README-linux.txt [--static PROGRAM...] ELF...
"""
import argparse
import re
import subprocess
import sys

FLOOR = re.compile(r"glibc (\d+)\.(\d+) or later")
RUNTIMES = ("libstdc++", "libgcc_s")


def version_needs(path):
    """(libraries the file loads, GLIBC_ versions it asks for) from readelf."""
    dynamic = subprocess.run(["readelf", "-W", "-d", path], check=True,
                             stdout=subprocess.PIPE).stdout.decode()
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
    versions = subprocess.run(["readelf", "-W", "-V", path], check=True,
                              stdout=subprocess.PIPE).stdout.decode()
    glibc = {tuple(int(p) for p in m.groups())
             for m in re.finditer(r"Name: GLIBC_(\d+)\.(\d+)(?:\.\d+)?\b", versions)}
    return needed, glibc


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--readme", required=True)
    ap.add_argument("--static", nargs="*", default=[])
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    with open(args.readme, encoding="utf-8") as f:
        stated = FLOOR.findall(f.read())
    if len(set(stated)) != 1:
        print("FAIL: the README states no one glibc floor (\"glibc X.Y or later\"): %r" % stated)
        return 1
    floor = tuple(int(p) for p in stated[0])
    problems, newest = [], (0, 0)
    for path in args.static:
        headers = subprocess.run(["readelf", "-W", "-l", "-d", path], check=True,
                                 stdout=subprocess.PIPE).stdout.decode()
        if "INTERP" in headers or "(NEEDED)" in headers:
            problems.append("%s is not fully static: it needs a program interpreter or a "
                            "library" % path)
        else:
            print("%s: fully static" % path)
    for path in args.files:
        needed, glibc = version_needs(path)
        for library in needed:
            if library.startswith(RUNTIMES):
                problems.append("%s loads %s" % (path, library))
        if not glibc:
            problems.append("%s asks for no GLIBC_ version (not read?)" % path)
            continue
        top = max(glibc)
        print("%s: loads %s; newest symbol version GLIBC_%d.%d" % (path, ", ".join(needed), *top))
        newest = max(newest, top)
        if top > floor:
            problems.append("%s needs GLIBC_%d.%d, newer than the stated glibc %d.%d" %
                            (path, *top, *floor))
    if newest and newest < floor:
        problems.append("the README states glibc %d.%d, but the files need only %d.%d" %
                        (*floor, *newest))
    for p in problems:
        print("FAIL:", p)
    if not problems:
        print("ok: glibc %d.%d, as the README states" % floor)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""No shipped program holds test machinery.

usage: no_test_symbols.py --nm NM FILE...

FILE: programs and libraries built as they ship (tests off), but not
stripped, so that their symbol tables tell what they hold. Any symbol of the
tests' hooks fails the check: the fault seam (platform::fault), the walk's
and the image test's seams (scan_seam), and every "...ForTesting" entry.
"""
import argparse
import re
import subprocess
import sys

TEST_MACHINERY = re.compile(r"platform::fault::|scan_seam::|ForTesting|HitArmed")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--nm", required=True)
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()
    bad = False
    for path in args.files:
        out = subprocess.run([args.nm, "-C", path], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, check=True).stdout.decode(errors="replace")
        symbols = [line for line in out.splitlines() if line.strip()]
        if not symbols:
            print("FAIL %s: no symbol table (stripped?): nothing to check" % path)
            bad = True
            continue
        found = [line for line in symbols if TEST_MACHINERY.search(line)]
        if found:
            bad = True
            print("FAIL %s: %d symbols of test machinery:" % (path, len(found)))
            for line in found[:20]:
                print("    " + line)
        else:
            print("ok   %s: %d symbols, none of test machinery" % (path, len(symbols)))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()

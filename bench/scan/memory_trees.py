"""Peak memory of the program on a deep and on a wide tree of the same size.

One chain of folders as deep as the path limit allows, against the same
folders side by side, each holding an image, a text file and a short image;
memory that stays flat as the tree deepens shows in equal figures.

usage: memory_trees.py WORK PROGRAM [ALSO]  (WORK keeps the trees between
runs)
"""
import os
import sys

from scan_env import Scan, prepare_root, programs
from timing import Command, run_once
from zq_samples import Samples
from zq_tree import Result

# "/t" + "/a" * LEVELS + "/f0.exe" stays below the 4096-character path limit.
LEVELS = 2040


def make_tree(top, deep):
    image = Samples.pe_header().ljust(4096, b"\0")
    files = (image, b"text\n" * 50, image[:600])
    os.mkdir(top)
    fd = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
    for i in range(LEVELS):
        name = "a" if deep else "a%d" % i
        os.mkdir(name, dir_fd=fd)
        sub = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        for j, data in enumerate(files):
            w = os.open("f%d.exe" % j, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=sub)
            os.write(w, data)
            os.close(w)
        if deep:
            os.close(fd)
            fd = sub
        else:
            os.close(sub)
    os.close(fd)


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__.split("\n\n")[-1])
    work, paths = sys.argv[1], sys.argv[2:]
    for shape, deep in (("deep", True), ("wide", False)):
        root = os.path.join(work, "tree-" + shape)
        if not os.path.isdir(os.path.join(root, "t")):
            os.makedirs(root, exist_ok=True)
            make_tree(os.path.join(root, "t"), deep)
        prepare_root(root, paths)
        # The tree is read once first, so that no program pays for a cold
        # cache that the next one finds warm.
        for _ in os.walk(os.path.join(root, "t")):
            pass
        for name in programs(paths):
            scan = Scan(root, name)
            output = os.path.join(work, "out-%s-%s.txt" % (shape, name))
            wall, _, rss = run_once(Command(scan.label, scan.argv(), scan.prepare), output)
            with open(output, "rb") as f:
                images = f.read().count(b"\tResult:" + Result.SAFE.word.encode())
            print("%-12s %-4s %d folders (%s), wall %6.2f s, peak RSS %5.1f MiB, "
                  "%d images %s" % (name, shape, LEVELS,
                                    "one chain" if deep else "side by side", wall, rss / 1024,
                                    images, Result.SAFE.word))


if __name__ == "__main__":
    main()

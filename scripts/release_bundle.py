#!/usr/bin/env python3
"""Packs built release files into the two bundles and SHA256SUMS (called by
scripts/release).

usage: release_bundle.py --version V --epoch SECONDS --source DIR
                         --win32 BUILD_DIR --native BUILD_DIR --dist DIR

The archives hold their entries in a fixed order, each with the time
SECONDS (the commit's), fixed permissions and no owner names, so the same
inputs always give the same bytes.
"""
import argparse
import gzip
import hashlib
import io
import os
import sys
import tarfile
import time
import zipfile


def find_built(build_dir, name):
    """The built file `name` in the build folder (the scanner and the library
    land at its top; the restore program sits in a tools sub-folder)."""
    top = os.path.join(build_dir, name)
    if os.path.isfile(top):
        return top
    for folder, dirs, files in sorted(os.walk(build_dir)):
        dirs.sort()
        if name in files:
            return os.path.join(folder, name)
    return None


def read(path):
    with open(path, "rb") as f:
        return f.read()


def bundle_files(build_dir, required, readme):
    """[(name, bytes, executable)] in bundle order."""
    entries = []
    for name, executable in required:
        path = find_built(build_dir, name)
        if path is None:
            sys.exit("release_bundle.py: %s was not built in %s" % (name, build_dir))
        entries.append((name, read(path), executable))
    entries.append(("README.txt", readme, False))
    return entries


def write_zip(path, top, entries, epoch):
    # ZIP times are local-time fields from 1980 on; the commit's UTC time.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data, executable in [(top + "/", b"", None)] + entries:
            is_dir = executable is None
            info = zipfile.ZipInfo(name if is_dir else top + "/" + name, date_time=stamp)
            info.create_system = 3  # Unix, so the permissions below are kept
            mode = 0o40755 if is_dir else (0o100755 if executable else 0o100644)
            info.external_attr = (mode << 16) | (0x10 if is_dir else 0)
            info.compress_type = zipfile.ZIP_STORED if is_dir else zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
    with open(path, "wb") as f:
        f.write(buffer.getvalue())


def write_tar_gz(path, top, entries, epoch):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        folder = tarfile.TarInfo(top)
        folder.type, folder.mode, folder.mtime = tarfile.DIRTYPE, 0o755, epoch
        archive.addfile(folder)
        for name, data, executable in entries:
            info = tarfile.TarInfo(top + "/" + name)
            info.size, info.mtime = len(data), epoch
            info.mode = 0o755 if executable else 0o644
            archive.addfile(info, io.BytesIO(data))
    with open(path, "wb") as f:
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=epoch) as packed:
            packed.write(buffer.getvalue())


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    ap = argparse.ArgumentParser()
    for option in ("--version", "--source", "--win32", "--native", "--dist"):
        ap.add_argument(option, required=True)
    ap.add_argument("--epoch", required=True, type=int)
    args = ap.parse_args()

    readme_dir = os.path.join(args.source, "docs", "release")
    # The Windows README with the line ends Notepad shows.
    windows_readme = read(os.path.join(readme_dir, "README-win32.txt")).replace(b"\r\n", b"\n")
    windows_readme = windows_readme.replace(b"\n", b"\r\n")
    linux_readme = read(os.path.join(readme_dir, "README-linux.txt"))

    win32_top = "ZQCindervane-%s-win32" % args.version
    linux_top = "zqcindervane-%s-linux-x86_64" % args.version
    win32_entries = bundle_files(args.win32,
                                 [("ZQCindervane.exe", True), ("druquara.dll", False),
                                  ("zqrestore.exe", True)], windows_readme)
    linux_entries = bundle_files(args.native,
                                 [("zqcindervane", True), ("druquara.so", True),
                                  ("zqrestore", True)], linux_readme)

    archives = [win32_top + ".zip", linux_top + ".tar.gz"]
    write_zip(os.path.join(args.dist, archives[0]), win32_top, win32_entries, args.epoch)
    write_tar_gz(os.path.join(args.dist, archives[1]), linux_top, linux_entries, args.epoch)
    with open(os.path.join(args.dist, "SHA256SUMS"), "w") as sums:
        for name in archives:
            sums.write("%s  %s\n" % (sha256(os.path.join(args.dist, name)), name))
    for name in archives + ["SHA256SUMS"]:
        print(os.path.join(args.dist, name))
    for name, entries in ((archives[0], win32_entries), (archives[1], linux_entries)):
        print("  %s: %s" % (name, ", ".join(entry[0] for entry in entries)))


if __name__ == "__main__":
    main()

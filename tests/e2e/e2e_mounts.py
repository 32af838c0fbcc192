#!/usr/bin/env python3
"""End-to-end run of the real Linux program over btrfs subvolumes and binds.

usage: e2e_mounts.py --program P --zqsample Z --work DIR

In a private mount namespace, an ext4 loop volume is the program's root
(chroot, with proc inside, so its mount table lists only what is made here):

- a btrfs loop volume whose subvolumes @a and @b are mounted at /vol/a and
  /vol/b (one device, two filesystems to the scan), with a nested subvolume
  @a/nested that is not mounted (entered from /vol/a), and a bind of a folder
  of @a at /mnt/part (nothing new: @a is scanned whole from /vol/a);
- a bind of an ancestor folder inside the tree (/data/inner/loop shows /data
  again): not entered, logged once;
- a file bind-mounted from a tmpfs over /data/bound.exe: not examined, logged
  once, the tmpfs file unchanged.

Each infected file must be repaired exactly once, each filesystem scanned from
one root. Needs root, unshare, loop devices and mkfs.btrfs; exits 77
(skipped) where the machine does not allow them.
"""
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zq_checks as checks  # noqa: E402
import zq_driver as driver  # noqa: E402
import zq_isolated as isolated  # noqa: E402
from zq_driver import read, write  # noqa: E402


def infected_sample(zqsample, work, name, seed):
    """(infected bytes, bytes a correct repair leaves)."""
    host = os.path.join(work, name + ".host")
    out = os.path.join(work, name + ".infected")
    repaired = os.path.join(work, name + ".repaired")
    isolated.run(zqsample, "pe", host, "--size", 3000 + seed, "--seed", seed)
    isolated.run(zqsample, "infect", host, out, "--seed", seed, "--repaired", repaired)
    with open(out, "rb") as f, open(repaired, "rb") as g:
        return f.read(), g.read()


def main():
    args = driver.driver_arguments(("program", "zqsample", "work"))
    isolated.enter_namespace(__file__, tools=("mkfs.btrfs", "btrfs"))
    os.makedirs(args.work, exist_ok=True)
    libs, loader = isolated.needed_libraries(args.program)
    samples = os.path.join(args.work, "samples")
    os.makedirs(samples, exist_ok=True)

    vol = isolated.Volume(args.work, "mounts-root", 64)
    btrfs_image = os.path.join(args.work, "mounts-btrfs.img")
    btrfs_top = os.path.join(args.work, "mounts-btrfs.top")
    try:
        root = vol.mnt
        zq = isolated.install_program(root, args.program, libs, loader)

        # The btrfs volume: subvolumes made from its top level, mounted apart.
        with open(btrfs_image, "wb") as f:
            f.truncate(128 << 20)
        isolated.run("mkfs.btrfs", "-q", "-f", btrfs_image, stdout=subprocess.DEVNULL)
        os.makedirs(btrfs_top, exist_ok=True)
        res = isolated.run("mount", "-o", "loop", btrfs_image, btrfs_top, check=False,
                         stderr=subprocess.PIPE)
        if res.returncode != 0:
            isolated.skip("cannot loop-mount a btrfs image here: %s" % res.stderr.decode().strip())
        btrfs_device = isolated.run("findmnt", "-n", "-o", "SOURCE", btrfs_top,
                                  stdout=subprocess.PIPE).stdout.decode().strip()
        for sub in ("@a", "@b", "@a/nested"):
            isolated.run("btrfs", "-q", "subvolume", "create", os.path.join(btrfs_top, sub),
                       stdout=subprocess.DEVNULL)

        # Infected files: (path in the chroot, where to write it now).
        expected = {}
        placed = [("/data/top.exe", os.path.join(root, "data", "top.exe")),
                  ("/data/inner/deep.exe", os.path.join(root, "data", "inner", "deep.exe")),
                  ("/vol/a/a.exe", os.path.join(btrfs_top, "@a", "a.exe")),
                  ("/vol/a/part/p.exe", os.path.join(btrfs_top, "@a", "part", "p.exe")),
                  ("/vol/a/nested/n.exe", os.path.join(btrfs_top, "@a", "nested", "n.exe")),
                  ("/vol/b/b.exe", os.path.join(btrfs_top, "@b", "b.exe"))]
        for seed, (shown, path) in enumerate(placed, start=50):
            data, repaired = infected_sample(args.zqsample, samples, "s%d" % seed, seed)
            write(path, data)
            expected[shown] = repaired

        os.makedirs(os.path.join(root, "data", "inner", "loop"), exist_ok=True)
        vol.mount_inside("-o", "subvol=@a", btrfs_device, where="vol/a")
        vol.mount_inside("-o", "subvol=@b", btrfs_device, where="vol/b")
        vol.mount_inside("--bind", os.path.join(btrfs_top, "@a", "part"), where="mnt/part")
        vol.mount_system()  # the mount table, /sys, /dev/shm
        vol.mount_inside("--bind", os.path.join(root, "data"), where="data/inner/loop")
        # A file on a tmpfs (in a dot-folder the scan skips) bound over a file
        # of the tree.
        vol.mount_inside("-t", "tmpfs", "tmpfs", where=".tmp")
        bound_data, _ = infected_sample(args.zqsample, samples, "bound", 70)
        write(os.path.join(root, ".tmp", "bound.exe"), bound_data)
        bound_target = os.path.join(root, "data", "bound.exe")
        write(bound_target, b"")
        isolated.run("mount", "--bind", os.path.join(root, ".tmp", "bound.exe"), bound_target)
        vol.mounted.append(bound_target)

        res = subprocess.run(isolated.program_command(root), stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        problems, log_lines = checks.run_problems(res, os.path.join(zq, isolated.LOG),
                                                  checks.decode, stderr_checked=False)

        roots = [l for l in log_lines if l.startswith("[wmain][440]")]
        problems += checks.diff("roots", ["[wmain][440]Start Scanning Folder:",
                                       "[wmain][440]Start Scanning Folder:/vol/a",
                                       "[wmain][440]Start Scanning Folder:/vol/b"], roots)
        printed = sorted(l.replace("Start Scanning...", "", 1)
                         for l in checks.decode(res.stdout).split("\n") if "Result:" in l)
        problems += checks.diff("console", sorted("Path:%s\tResult:Is Fix" % p for p in expected),
                             printed)
        mounts = sorted(l for l in log_lines if l.startswith("[ScanFolder][298]"))
        problems += checks.diff("mount lines", sorted(
            "[ScanFolder][298]Mount inside the walk, not scanned:" + p
            for p in ("/data/bound.exe", "/data/inner/loop")), mounts)
        if read(os.path.join(root, ".tmp", "bound.exe")) != bound_data:
            problems.append("the file bound from tmpfs was changed")
        vol.unmount_inside()
        for shown, path in placed:
            if read(path) != expected[shown]:
                problems.append("%s is not repaired as its trailer says" % shown)
        ok = checks.report("native mounts: btrfs subvolumes and bind mounts", problems)
    finally:
        vol.close()
        if os.path.ismount(btrfs_top):
            isolated.run("umount", btrfs_top)
        if os.path.exists(btrfs_image):
            os.unlink(btrfs_image)
    driver.finish(ok)


if __name__ == "__main__":
    main()

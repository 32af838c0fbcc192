"""Runs of the real Linux program isolated from the host.

A private mount namespace, an ext4 test volume or a bind-mounted folder as the
program's root, the program with its libraries and loader installed in the
dot-folder /.zq of that root, proc, sysfs and /dev/shm mounted inside, and the
program started chrooted there, so that the only local filesystem its drive
discovery finds is the root. Shared by the end-to-end tests and the scan
benchmark.
"""
import os
import shutil
import subprocess
import sys

from zq_checks import SKIP, Failure, log

IN_NAMESPACE = "ZQ_E2E_IN_NAMESPACE"

# What the program needs of the system, (filesystem type, place in the root):
# the mount table, the disks' /sys entries, and /dev/shm for the log's switch.
SYSTEM_MOUNTS = (("proc", "proc"), ("sysfs", "sys"), ("tmpfs", "dev/shm"))

# The program's name in /.zq, and its log, which it writes beside itself.
PROGRAM = "zqcindervane"
LOG = "ZQCindervane.log"


def skip(why):
    log("SKIP: " + why)
    sys.exit(SKIP)


def run(*cmd, check=True, **kw):
    return subprocess.run([str(c) for c in cmd], check=check, **kw)


def enter_namespace(script, tools=()):
    """Re-runs `script` (the calling driver) in a private mount namespace
    (unless already); skips the test where that cannot be done or where one
    of `tools`, which the driver needs besides the namespace, loop volume
    and chroot, is missing."""
    if os.environ.get(IN_NAMESPACE):
        return
    if os.geteuid() != 0:
        skip("needs root (mount namespace, loop device, chroot)")
    for tool in ("unshare", "mkfs.ext4", "chroot", "mount", "umount", *tools):
        if not shutil.which(tool):
            skip("%s is not installed" % tool)
    probe = run("unshare", "-m", "--propagation", "private", "true", check=False,
                stderr=subprocess.PIPE)
    if probe.returncode != 0:
        skip("unshare -m is not permitted here: %s" % probe.stderr.decode().strip())
    env = dict(os.environ, **{IN_NAMESPACE: "1"})
    res = subprocess.run(["unshare", "-m", "--propagation", "private", sys.executable,
                          os.path.abspath(script), *sys.argv[1:]], env=env)
    sys.exit(res.returncode)


def is_static(elf):
    """Whether the ELF file needs no program interpreter and loads no
    library (a fully static program, as the Linux programs ship; a shared
    library has no interpreter but loads the C library)."""
    headers = run("readelf", "-W", "-l", "-d", elf, stdout=subprocess.PIPE).stdout.decode()
    return "INTERP" not in headers and "(NEEDED)" not in headers


def needed_libraries(*elf_files):
    """The shared libraries (and the loader) the ELF files load, from ldd;
    a static program loads none. The loader is None when none of the files
    needs one."""
    libs, loader = set(), None
    for elf in elf_files:
        if is_static(elf):
            continue
        out = run("ldd", elf, stdout=subprocess.PIPE).stdout.decode()
        for line in out.splitlines():
            line = line.strip()
            if "=>" in line:
                target = line.split("=>", 1)[1].split("(")[0].strip()
                if target:
                    libs.add(target)
            elif line.startswith("/"):
                loader = line.split("(")[0].strip()
    return sorted(libs), loader


def install_program(root, program, libs, loader, name=PROGRAM):
    """Copies the program (as /.zq/`name`) into `root`/.zq (a folder the scan
    skips by its name), so that it runs chrooted there; returns that folder.
    The shared libraries and the loader go to /.zq/lib: a dynamic program
    runs through the loader (/.zq/ld.so), a static one on its own, and the
    libraries are there for the quarantine library it loads (found through
    LD_LIBRARY_PATH, see program_command)."""
    zq = os.path.join(root, ".zq")
    os.makedirs(os.path.join(zq, "lib"), exist_ok=True)
    shutil.copy2(program, os.path.join(zq, name))
    for lib in libs:
        shutil.copy2(lib, os.path.join(zq, "lib", os.path.basename(lib)))
    if loader is not None:
        shutil.copy2(loader, os.path.join(zq, "lib", os.path.basename(loader)))
        if not is_static(program):
            shutil.copy2(loader, os.path.join(zq, "ld.so"))
    return zq


def install_suite(root, library):
    """Installs `library` as the suite's quarantine library in `root`
    (/.suite/security/zebscan/druquara.so) with the key that names the suite
    (/etc/Morlane/QRVCommon); returns the library's folder."""
    folder = os.path.join(root, ".suite", "security", "zebscan")
    os.makedirs(folder)
    shutil.copy2(library, os.path.join(folder, "druquara.so"))
    os.makedirs(os.path.join(root, "etc", "Morlane"))
    with open(os.path.join(root, "etc", "Morlane", "QRVCommon"), "wb") as f:
        f.write(b"ProgramPath=/.suite\n")
    return folder


def program_command(root, name=PROGRAM, args=(), user=None):
    """The command that runs /.zq/`name` chrooted into `root`, with `args`,
    as `user` ("uid:gid") when given: through the loader copied beside it
    for a dynamic program, on its own for a static one."""
    chroot = ["chroot"] + (["--userspec=" + user] if user else [])
    if os.path.exists(os.path.join(root, ".zq", "ld.so")):
        return chroot + [root, "/.zq/ld.so", "--library-path", "/.zq/lib", "/.zq/" + name,
                         *args]
    return ["env", "LD_LIBRARY_PATH=/.zq/lib"] + chroot + [root, "/.zq/" + name, *args]


def mount_system(root, leave_out=()):
    """Mounts SYSTEM_MOUNTS inside `root`, but those whose place is in
    `leave_out` (their folders are made all the same); returns the mount
    points in the order they were mounted."""
    points = []
    for fstype, where in SYSTEM_MOUNTS:
        if where in leave_out:
            os.makedirs(os.path.join(root, where), exist_ok=True)
            continue
        target = os.path.join(root, where)
        os.makedirs(target, exist_ok=True)
        run("mount", "-t", fstype, fstype, target)
        points.append(target)
    return points


class Volume:
    """An ext4 image mounted at `mnt` (in this private namespace)."""

    def __init__(self, work, name, size_mib, mkfs_options=()):
        self.image = os.path.join(work, name + ".img")
        self.mnt = os.path.join(work, name + ".mnt")
        self.mounted = []
        if os.path.exists(self.image):
            os.unlink(self.image)
        with open(self.image, "wb") as f:
            f.truncate(size_mib << 20)
        run("mkfs.ext4", "-q", "-F", "-m", "0", *mkfs_options, self.image)
        os.makedirs(self.mnt, exist_ok=True)
        res = run("mount", "-o", "loop", self.image, self.mnt, check=False,
                  stderr=subprocess.PIPE)
        if res.returncode != 0:
            skip("cannot loop-mount an image here: %s" % res.stderr.decode().strip())
        self.mounted.append(self.mnt)
        os.rmdir(os.path.join(self.mnt, "lost+found"))

    def mount_inside(self, *args, where):
        target = os.path.join(self.mnt, where)
        os.makedirs(target, exist_ok=True)
        run("mount", *args, target)
        self.mounted.append(target)

    def mount_system(self, leave_out=()):
        self.mounted += mount_system(self.mnt, leave_out)

    def unmount_inside(self):
        while len(self.mounted) > 1:
            run("umount", self.mounted.pop())

    def close(self):
        self.unmount_inside()
        if self.mounted:
            run("umount", self.mounted.pop())
        os.unlink(self.image)

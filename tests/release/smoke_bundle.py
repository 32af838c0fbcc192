#!/usr/bin/env python3
"""Unpacks a release bundle and runs its program on a small test tree.

usage: smoke_bundle.py linux --bundle TAR.GZ --zqsample Z --work DIR
       smoke_bundle.py wine  --bundle ZIP --zqsample Z --work DIR
                             --wine WINE --wineserver WS --fixture PREFIX

linux: chrooted on a loop-mounted ext4 volume in a private mount namespace,
as the native end-to-end test runs (needs root; exits 77, skipped, where
the machine does not allow it). wine: in a Wine prefix of its own whose
only drive C: is the test tree, with the registry of the prefix FIXTURE.

The tree holds a clean image and a synthetic infected one. On Linux the
program runs first alone in the chroot (it is fully static), given the
tree's folder, then over the fixed roots with /proc and /sys mounted. The release
carries only the production signature, so both are "Safe" and nothing is
written; the run must start, scan both, end with "End Scanning..." (no
pause: standard output is a pipe), exit 0 and write its log naming the
bundle's version, which --version prints too. The program lies in a
dot-folder, which the scan skips. On Linux the tree also holds many data
files, and the program runs a second time with standard error on a
pseudo-terminal: the progress line shows there and is cleared before the
closing line, and standard output is the same as with standard error on a
pipe, which stays empty.
"""
import argparse
import os
import pty
import shutil
import subprocess
import sys
import tarfile
import time
import zipfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))

SKIP = 77
# Files in the tree's folder "many": on this project's machines the walk
# then takes several times the progress display's refresh interval (250 ms).
# (The volume of 500 MiB is a "small" ext4 one: an inode per 4 KiB.)
MANY_FILES = 120000
IN_NAMESPACE = "ZQ_SMOKE_IN_NAMESPACE"


def fail(message):
    print("FAIL:", message)
    sys.exit(1)


def samples(zqsample, folder):
    """clean.exe and infected.exe (a synthetic infection of a clean image)."""
    os.makedirs(folder)
    clean = os.path.join(folder, "clean.exe")
    infected = os.path.join(folder, "infected.exe")
    subprocess.run([zqsample, "pe", clean, "--size", "6000", "--seed", "1"], check=True)
    host = os.path.join(folder, "host.tmp")
    subprocess.run([zqsample, "pe", host, "--size", "5000", "--seed", "2"], check=True)
    subprocess.run([zqsample, "infect", host, infected, "--seed", "3"], check=True)
    os.unlink(host)
    return {p: open(p, "rb").read() for p in (clean, infected)}


def many_files(folder, count):
    """`count` small files that are not images: enough walking for the
    progress line to be drawn at least once."""
    os.makedirs(folder)
    for i in range(count):
        with open(os.path.join(folder, "f%05d.dat" % i), "wb") as f:
            f.write(b"not an image")


# The closing line on a terminal: both images examined, nothing repaired.
CLOSING = (b"ZQCindervane: 2 examined, 0 repaired, 0 errors, 0 not scanned; "
           b"log: /.zq/ZQCindervane.log\r\n")


def check_progress(quiet, on_terminal, terminal_bytes, seconds):
    """Standard error as a file stays empty; on a terminal it holds status
    lines rewritten in place, the last one cleared before the closing line,
    at least one of them when the run lasted three refresh intervals;
    standard output is the same byte for byte either way."""
    if quiet.stderr:
        fail("standard error, a file, holds %r" % quiet.stderr[:200])
    if on_terminal.stdout != quiet.stdout:
        fail("standard output differs when standard error is a terminal")
    if not terminal_bytes.endswith(CLOSING):
        fail("no closing line at the end of the terminal: %r" % terminal_bytes[-200:])
    progress = terminal_bytes[:-len(CLOSING)]
    lines = progress.count(b"files, ")
    if lines == 0 and seconds >= 0.75:
        fail("no progress line on the terminal in %.2f s: %r" % (seconds, terminal_bytes[:200]))
    if lines and (not progress.endswith(b"\r\x1b[K") or b"Path:" in progress):
        fail("the progress line was not cleared at the end: %r" % terminal_bytes[-200:])
    print("progress: %d status lines drawn on the terminal in %.2f s, none on a file"
          % (lines, seconds))


def bundle_version(bundle):
    """The version in the bundle's name (..-<version>-linux-x86_64.tar.gz,
    ..-<version>-win32.zip)."""
    return os.path.basename(bundle).split("-")[1].encode()


def check_version(result, version, eol):
    want = b"ZQCindervane " + version + eol
    if result.returncode != 0 or result.stdout != want:
        fail("--version: exit %d, %r, expected %r" % (result.returncode, result.stdout, want))


def check_run(result, want_lines, log_path, files, version):
    out = result.stdout
    if result.returncode != 0:
        fail("exit code %d" % result.returncode)
    if not out.startswith(b"Start Scanning...") or b"End Scanning..." not in out:
        fail("unexpected console text: %r" % out)
    body = out[len(b"Start Scanning..."):out.index(b"End Scanning...")]
    if sorted(body.splitlines()) != sorted(want_lines):
        fail("result lines %r, expected %r" % (body.splitlines(), want_lines))
    # Standard output is no console: no pause, and nothing after the end.
    if not out.endswith(b"End Scanning..."):
        fail("more after End Scanning... (a pause?): %r" % out[-60:])
    try:
        log = open(log_path, "rb").read()
    except OSError as error:
        fail("no log: %s" % error)
    if b"  Start...\r\n" not in log or b"  End...\r\n" not in log:
        fail("log lacks Start... or End...: %r" % log[:300])
    if b"  Version...ZQCindervane " + version + b", Signatures:1\r\n" not in log:
        fail("log lacks the version line of %s: %r" % (version.decode(), log[:300]))
    for path, data in files.items():
        if open(path, "rb").read() != data:
            fail("%s changed" % path)
    print("bundle ran: %d result lines, log %d bytes, files unchanged" % (len(want_lines), len(log)))


def unpack_tar(bundle, where):
    with tarfile.open(bundle) as archive:
        top = archive.getnames()[0]
        archive.extractall(where)
    return os.path.join(where, top)


def linux(args):
    import zq_isolated  # the isolated runs of the native end-to-end tests

    if not os.environ.get(IN_NAMESPACE):
        if os.geteuid() != 0 or not shutil.which("unshare"):
            print("SKIP: needs root and unshare")
            sys.exit(SKIP)
        env = dict(os.environ, **{IN_NAMESPACE: "1"})
        sys.exit(subprocess.run(["unshare", "-m", "--propagation", "private", sys.executable,
                                 os.path.abspath(__file__), *sys.argv[1:]], env=env).returncode)
    os.makedirs(args.work, exist_ok=True)
    unpacked = os.path.join(args.work, "unpacked")
    shutil.rmtree(unpacked, ignore_errors=True)
    bundle = unpack_tar(args.bundle, unpacked)
    program = os.path.join(bundle, "zqcindervane")
    for name in ("zqcindervane", "druquara.so", "zqrestore", "README.txt"):
        if not os.path.isfile(os.path.join(bundle, name)):
            fail("%s is not in the bundle" % name)
    libs, loader = zq_isolated.needed_libraries(program)
    vol = zq_isolated.Volume(args.work, "smoke", 500)
    try:
        root = vol.mnt
        zq = zq_isolated.install_program(root, program, libs, loader)
        files = samples(args.zqsample, os.path.join(root, "data"))
        command = zq_isolated.program_command(root)
        version = bundle_version(args.bundle)
        # The program alone in the chroot (no loader, no library, no /proc or
        # /sys): it starts, and scans the folder it is given.
        if os.listdir(os.path.join(zq, "lib")):
            fail("the bundle's program needs libraries: %r" % os.listdir(os.path.join(zq, "lib")))
        alone = subprocess.run(command + ["/data"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        want = [b"Path:/data/%s\tResult:Safe" % n for n in (b"clean.exe", b"infected.exe")]
        check_run(alone, want, os.path.join(zq, "ZQCindervane.log"), files, version)
        os.unlink(os.path.join(zq, "ZQCindervane.log"))
        many_files(os.path.join(root, "many"), MANY_FILES)
        vol.mount_system()
        check_version(subprocess.run(command + ["--version"], stdout=subprocess.PIPE, timeout=60),
                      version, b"\n")
        result = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, timeout=300)
        check_run(result, want, os.path.join(zq, "ZQCindervane.log"), files, version)
        # Again with standard error on a terminal (standard output still a pipe).
        master, slave = pty.openpty()
        started = time.monotonic()
        on_terminal = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=slave, timeout=300)
        seconds = time.monotonic() - started
        os.close(slave)
        terminal_bytes = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # EIO: the terminal's other side is closed
                break
            if not chunk:
                break
            terminal_bytes += chunk
        os.close(master)
        check_progress(result, on_terminal, terminal_bytes, seconds)
    finally:
        vol.close()


def wine(args):
    prefix = os.path.join(args.work, "prefix")
    if os.path.exists(prefix):
        shutil.rmtree(prefix)
    os.makedirs(os.path.join(prefix, "dosdevices"))
    for reg in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
        if os.path.exists(os.path.join(args.fixture, reg)):
            shutil.copy2(os.path.join(args.fixture, reg), os.path.join(prefix, reg))
    c = os.path.join(prefix, "C")
    os.makedirs(c)
    os.symlink(c, os.path.join(prefix, "dosdevices", "c:"))
    # Wine's own Windows folder, which the scan does not enter.
    os.symlink(os.path.join(args.fixture, "drive_c", "windows"), os.path.join(c, "windows"))
    with zipfile.ZipFile(args.bundle) as archive:
        names = archive.namelist()
        top = names[0].rstrip("/")
        for name in ("ZQCindervane.exe", "druquara.dll", "zqrestore.exe", "README.txt"):
            if top + "/" + name not in names:
                fail("%s is not in the bundle" % name)
        zq = os.path.join(c, ".zq")
        os.makedirs(zq)
        for name in ("ZQCindervane.exe", "druquara.dll"):
            with open(os.path.join(zq, name), "wb") as f:
                f.write(archive.read(top + "/" + name))
    files = samples(args.zqsample, os.path.join(c, "data"))
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
    version = bundle_version(args.bundle)
    try:
        check_version(subprocess.run([args.wine, "C:\\.zq\\ZQCindervane.exe", "--version"],
                                     env=env, cwd=c, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, timeout=600), version, b"\r\n")
        result = subprocess.run([args.wine, "C:\\.zq\\ZQCindervane.exe"], env=env, cwd=c,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, timeout=600)
    finally:
        subprocess.run([args.wineserver, "-k"], env=env, stderr=subprocess.DEVNULL)
        subprocess.run([args.wineserver, "-w"], env=env, stderr=subprocess.DEVNULL)
    want = [b"Path:C:\\data\\%s\tResult:Safe" % n for n in (b"clean.exe", b"infected.exe")]
    check_run(result, want, os.path.join(zq, "ZQCindervane.log"), files, version)
    shutil.rmtree(prefix)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("target", choices=("linux", "wine"))
    ap.add_argument("--bundle", required=True)
    ap.add_argument("--zqsample", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--wine")
    ap.add_argument("--wineserver")
    ap.add_argument("--fixture")
    args = ap.parse_args()
    for name in ("bundle", "zqsample", "work", "fixture"):
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.target == "wine":
        if not (args.wine and args.wineserver and args.fixture):
            ap.error("wine needs --wine, --wineserver and --fixture")
        os.makedirs(args.work, exist_ok=True)
        wine(args)
    else:
        linux(args)


if __name__ == "__main__":
    main()

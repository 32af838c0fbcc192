"""What the scan benchmark's helpers share.

The benchmark tools' programs, and roots in which the program runs isolated
(the end-to-end tests' zq_isolated) with logging on or switched off.
"""
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import zq_isolated  # noqa: E402

# The shared benchmark tools (limit.c, runstat.c), as run.sh found them.
BENCH_DIR = os.environ.get("BENCH_DIR", "")
BENCH_BIN = os.environ.get("BENCH_BIN",
                           os.path.join(os.environ.get("TMPDIR", "/tmp"), "bench-bin"))

# The stem of the logging switches' names: a shared-memory object whose first
# byte turns a run's logging on. A run never adopts a switch that it did not
# make (one left by another process of its id is stale), so logging is
# switched off from outside right after the run made its switch: a few lines
# come first.
LOG_SWITCH_STEM = "BFD88F2D-0990-4de4-AD0F-764F5894389A-"

# sh -c SCRIPT sh SHM_FOLDER COMMAND...: starts COMMAND, waits for its switch
# to appear in SHM_FOLDER, resets it (the byte written in place: the run maps
# it) and waits for COMMAND, whose status it returns.
SWITCH_OFF_AT_START = r"""
dir=$1; shift
"$@" &
pid=$!
found=
while [ -z "$found" ] && kill -0 "$pid" 2>/dev/null; do
    for f in "$dir"/BFD88F2D-0990-4de4-AD0F-764F5894389A-*; do
        [ -e "$f" ] && found=$f
    done
done
[ -n "$found" ] && printf '\000' | dd of="$found" bs=1 count=1 conv=notrunc status=none
wait "$pid"
"""


def bench_tool(name, *link):
    """A program of the benchmark tools (limit, runstat), built from its C
    source when missing."""
    path = os.path.join(BENCH_BIN, name)
    if not os.access(path, os.X_OK):
        if not BENCH_DIR:
            sys.exit("no %s in %s and BENCH_DIR unset" % (name, BENCH_BIN))
        os.makedirs(BENCH_BIN, exist_ok=True)
        subprocess.run(["cc", "-O2", "-o", path, os.path.join(BENCH_DIR, name + ".c"), *link],
                       check=True)
    return path


def floor_view(root):
    """Where the commands that are not the program see `root`: the same
    files without the system mounted inside, which they would walk."""
    return root.rstrip("/") + ".floor"


def programs(paths):
    """{name in /.zq: path} of the program and, when given, a second build
    timed beside it ("also")."""
    return dict(zip((zq_isolated.PROGRAM, "also"), paths))


def prepare_root(root, paths):
    """Makes `root` a mount of its own (bind-mounted onto itself, in this
    private mount namespace) with the system mounted inside and the programs
    (see programs) installed, so that the only filesystem the program finds
    is `root`; also its floor_view."""
    shutil.rmtree(os.path.join(root, ".zq"), ignore_errors=True)
    libs, loader = zq_isolated.needed_libraries(*paths)
    for name, path in programs(paths).items():
        zq_isolated.install_program(root, path, libs, loader, name=name)
    zq_isolated.run("mount", "--bind", root, root)
    os.makedirs(floor_view(root), exist_ok=True)
    zq_isolated.run("mount", "--bind", root, floor_view(root))
    zq_isolated.mount_system(root)


def log_path(root):
    return os.path.join(root, ".zq", zq_isolated.LOG)


class Scan:
    """The program installed as /.zq/`name` in `root`, with every log line
    written or, when not `logging`, with logging switched off."""

    def __init__(self, root, name, logging=True):
        self.root, self.name, self.logging = root, name, logging
        self.label = name + ("" if logging else ", log off")

    def argv(self):
        command = zq_isolated.program_command(self.root, self.name)
        if self.logging:
            return command
        return ["sh", "-c", SWITCH_OFF_AT_START, "sh", self.shm_folder(), *command]

    def shm_folder(self):
        return os.path.join(self.root, "dev", "shm")

    def prepare(self):
        """No switch of an earlier run is left where the coming run makes its
        own (logging off finds the new one by its name)."""
        if not self.logging:
            for name in os.listdir(self.shm_folder()):
                if name.startswith(LOG_SWITCH_STEM):
                    os.unlink(os.path.join(self.shm_folder(), name))


def main():
    """prepare ROOT PROGRAM [ALSO]: prepare_root from the command line."""
    if len(sys.argv) not in (4, 5) or sys.argv[1] != "prepare":
        sys.exit("usage: scan_env.py prepare ROOT PROGRAM [ALSO]")
    prepare_root(sys.argv[2], sys.argv[3:])


if __name__ == "__main__":
    main()

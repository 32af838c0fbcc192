#!/usr/bin/env bash
# bench/scan/run.sh [--files N] [--runs R] [--program PATH] [--corpus DIR] [--no-deep] [--also P]
#
# Times the real native release program over the benchmark corpus, side by
# side with the limit program (../shared/bench/compare.sh), after checking
# that its "Path:" lines and results agree with the corpus manifest; once
# with every log line written and once with logging switched off, which
# tells the scan's own cost from the log's. Ends with the ratios to
# "limit -S", against which the target is set.
#
# The program must see only the corpus: a persistent private mount namespace
# (unshare --mount=FILE) holds the corpus bind-mounted onto itself with proc,
# sys and /dev/shm mounted inside; each run enters it (nsenter) and chroots
# into the corpus, running the program and its libraries from the
# dot-folder /.zq, which the scan passes over; its log is /.zq/ZQCindervane.log.
#
# Then it measures peak memory on a deep and on a wide tree of the same size
# (one folder chain as deep as the path limit allows, against the same
# folders side by side), to see whether memory stays flat as the tree deepens.
#
#   --files N     corpus size (default 100000: ~2.7 GiB, ~30 s to make; 20000
#                 for a quick run)
#   --runs R      timed rounds for compare.sh (default 5)
#   --program P   the program (default build/release/zqcindervane, built when
#                 missing). A build with the test signature is refused: it
#                 would repair the corpus's test-pattern files.
#   --corpus DIR  where the corpus is made or found (default
#                 ${TMPDIR:-/var/tmp}/zq-bench/corpus-N, outside the repository)
#   --no-deep     leave out the deep/wide memory runs
#   --also P      time a second build P beside it (for instance the build
#                 before a change), also checked against the manifest, timed
#                 with and without logging and measured on the deep and wide
#                 trees too
#
# Needs root (mount namespace, chroot). Environment: BENCH_DIR (the shared
# benchmark tools, default ../shared/bench from the project root).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
bench_dir=${BENCH_DIR:-$root/../shared/bench}
files=100000
runs=5
program=
corpus=
deep=1
also=
while [ $# -gt 0 ]; do
    case $1 in
        --files) files=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --program) program=$2; shift 2 ;;
        --corpus) corpus=$2; shift 2 ;;
        --no-deep) deep=0; shift ;;
        --also) also=$2; shift 2 ;;
        -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done

die() { echo "run.sh: $*" >&2; exit 1; }
[ "$(id -u)" = 0 ] || die "needs root (mount namespace, chroot)"
[ -f "$bench_dir/make_corpus.py" ] || die "no benchmark tools at $bench_dir (set BENCH_DIR)"
bench_dir=$(cd "$bench_dir" && pwd)

if [ -z "$program" ]; then
    program=$root/build/release/zqcindervane
    if [ ! -x "$program" ]; then
        (cd "$root" && cmake --preset release >/dev/null &&
            cmake --build build/release --target zqcindervane -j2)
    fi
fi
[ -x "$program" ] || die "no program at $program"
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
for p in "$program" $also; do
    [ -x "$p" ] || die "no program at $p"
    if grep -q "$("$root/scripts/test-signature")" "$p"; then
        die "$p carries the test signature: it would repair the corpus; use a release build"
    fi
done
[ -z "$also" ] || also=$(cd "$(dirname "$also")" && pwd)/$(basename "$also")

work=${TMPDIR:-/var/tmp}/zq-bench
mkdir -p "$work"
work=$(cd "$work" && pwd)
corpus=${corpus:-$work/corpus-$files}
case $corpus in "$root"/*) die "the corpus must lie outside the repository" ;; esac
if [ ! -f "$corpus/.bench-manifest.tsv" ]; then
    echo "== making the corpus ($files files) in $corpus"
    python3 "$bench_dir/make_corpus.py" "$corpus" --files "$files"
fi
corpus=$(cd "$corpus" && pwd)

# The namespace file lives on a private mount of its own folder.
ns_dir=$work/ns
ns=$ns_dir/mnt
mounted_here=()
cleanup() {
    if [ -e "$ns" ] && mountpoint -q "$ns" 2>/dev/null; then umount "$ns" || true; fi
    if mountpoint -q "$ns_dir" 2>/dev/null; then umount "$ns_dir" || true; fi
}
trap cleanup EXIT
mkdir -p "$ns_dir"
cleanup
mount --bind "$ns_dir" "$ns_dir"
mount --make-private "$ns_dir"
touch "$ns"
unshare --mount="$ns" --propagation private true

# install_root DIR: the program, its libraries and its loader into DIR/.zq,
# mount points for proc, sys and /dev/shm, all mounted in the namespace with
# DIR bind-mounted onto itself (so it is the only filesystem the program finds).
install_root() {
    local dir=$1 lib loader
    rm -rf "$dir/.zq"
    mkdir -p "$dir/.zq/lib" "$dir/proc" "$dir/sys" "$dir/dev/shm"
    cp "$program" "$dir/.zq/zqcindervane"
    [ -z "$also" ] || cp "$also" "$dir/.zq/also"
    loader=$(ldd "$program" | awk '$1 ~ /^\// {print $1}')
    cp "$loader" "$dir/.zq/ld.so"
    for lib in $(ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// {print $3}'); do
        cp "$lib" "$dir/.zq/lib/"
    done
    nsenter --mount="$ns" sh -c '
        set -e
        mount --bind "$1" "$1"
        mount -t proc proc "$1/proc"
        mount -t sysfs sysfs "$1/sys"
        mount -t tmpfs tmpfs "$1/dev/shm"' sh "$dir"
}
# scan_command DIR [NAME]: the shell command that runs the program (or the
# one installed as /.zq/NAME) on DIR alone.
scan_command() {
    printf 'nsenter --mount=%q chroot %q /.zq/ld.so --library-path /.zq/lib /.zq/%s' \
        "$ns" "$1" "${2:-zqcindervane}"
}

install_root "$corpus"
scan=$(scan_command "$corpus")

check_against_manifest() {
python3 - "$corpus" "$1" "$corpus/.zq/ZQCindervane.log" <<'PY'
import os, sys
corpus, out_path, log_path = sys.argv[1:]
want = {}
visible_files = 0
with open(os.path.join(corpus, ".bench-manifest.tsv"), encoding="utf-8") as f:
    next(f)
    for line in f:
        path, size, _kind, verdict = line.rstrip("\n").split("\t")
        if verdict != "-":
            want[path] = verdict
        hidden = any(p.startswith(".") for p in path.split("/"))
        if not hidden and int(size) <= 104857600:
            visible_files += 1
with open(out_path, "rb") as f:
    text = f.read().decode("utf-8", "surrogateescape")
problems = []
if not text.startswith("Start Scanning..."):
    problems.append("output does not begin with Start Scanning...")
body = text[len("Start Scanning..."):]
end = body.rfind("End Scanning...")
if end < 0:
    problems.append("no End Scanning...")
got = {}
for line in body[:end].split("\n")[:-1]:
    if not line.startswith("Path:/") or "\tResult:" not in line:
        problems.append("unexpected line %r" % line[:200])
        continue
    path, result = line[len("Path:/"):].rsplit("\tResult:", 1)
    if path in got:
        problems.append("printed twice: %s" % path)
    got[path] = result
missing = sorted(set(want) - set(got))
extra = sorted(set(got) - set(want))
not_safe = sorted(p for p, r in got.items() if r != "Safe")
for what, items in (("missing", missing), ("extra", extra), ("not Safe", not_safe)):
    if items:
        problems.append("%d %s, e.g. %s" % (len(items), what, items[:3]))
# Every file within the limit is logged (309), every image's result too (334).
counts = {"309": 0, "334": 0, "338": 0}
with open(log_path, "rb") as f:
    for raw in f:
        for k in counts:
            if b"[ScanFolder][%s]" % k.encode() in raw:
                counts[k] += 1
if counts["309"] != visible_files or counts["334"] != len(want) or \
        counts["338"] != visible_files - len(want):
    problems.append("log counts %s, want 309=%d 334=%d 338=%d" %
                    (counts, visible_files, len(want), visible_files - len(want)))
print("%d images examined (manifest: %d), %d Safe; log: %d files, %d results" %
      (len(got), len(want), len(got) - len(not_safe), counts["309"], counts["334"]))
if problems:
    print("DISAGREES WITH THE MANIFEST:")
    for p in problems:
        print("   ", p)
    sys.exit(1)
print("agrees with the manifest")
PY
}
echo "== checking the program's results against the manifest"
out=$work/scan-output.txt
$scan </dev/null >"$out"
check_against_manifest "$out"
if [ -n "$also" ]; then
    echo "== checking $also against the manifest"
    $(scan_command "$corpus" also) </dev/null >"$work/also-output.txt"
    check_against_manifest "$work/also-output.txt"
fi

# The same run with logging switched off, to tell the scan's own cost from
# the log's: the program runs as process 1 of a new PID namespace, and the
# logging switch of process 1 (a shared-memory object in /dev/shm) exists
# beforehand in its reset state, so every log line is dropped.
# quiet_script FILE NAME: a script that runs /.zq/NAME with logging off.
quiet_script() {
    {
        echo '#!/bin/sh'
        printf 'exec nsenter --mount=%q sh -c %q\n' "$ns" \
            "printf '\\0' >$(printf %q "$corpus")/dev/shm/BFD88F2D-0990-4de4-AD0F-764F5894389A-1 && exec unshare --pid --fork chroot $(printf %q "$corpus") /.zq/ld.so --library-path /.zq/lib /.zq/$2"
    } >"$1"
    chmod +x "$1"
}
scan_quiet=$work/scan-log-off.sh
quiet_script "$scan_quiet" zqcindervane
rm -f "$corpus/.zq/ZQCindervane.log" "$corpus/.zq/ZQCindervane.log0"
quiet_images=$("$scan_quiet" </dev/null | grep -c $'\tResult:Safe' || true)
if [ -e "$corpus/.zq/ZQCindervane.log" ] || [ "$quiet_images" != "$(grep -c $'\tResult:Safe' "$out")" ]; then
    die "the run with logging switched off wrote a log or printed other results"
fi

echo
echo "== timing (compare.sh, $runs rounds)"
echo "extra 1: the program, every log line written; extra 2: the same, logging switched off"
extra=("$scan # {}" "$scan_quiet # {}")
if [ -n "$also" ]; then
    echo "extra 3: $also, every log line written; extra 4: the same, logging switched off"
    quiet_script "$work/also-log-off.sh" also
    extra+=("$(scan_command "$corpus" also) # {}" "$work/also-log-off.sh # {}")
fi
# "# {}": compare.sh appends the corpus path; the program takes no argument.
RUNS=$runs "$bench_dir/compare.sh" "$corpus" "${extra[@]}" | tee "$work/compare.txt"
# The target is stated against the stat-first limit (the scanner also sizes
# every file before it opens it): the extras' median wall time over its.
awk '/^limit -S \(stat first\)/ { base = $5 } /^extra [0-9]+ +[0-9.]+ / { t[$2] = $3 }
     END { if (base > 0) for (k in t)
               printf "extra %s: %.2f x limit -S (target: at most 1.5 with every log line written)\n",
                      k, t[k] / base }' "$work/compare.txt" | sort

if [ "$deep" = 1 ]; then
    echo
    echo "== peak memory: the deepest chain of folders against the same folders side by side"
    bin=${BENCH_BIN:-${TMPDIR:-/tmp}/bench-bin}
    [ -x "$bin/runstat" ] || cc -O2 -o "$bin/runstat" "$bench_dir/runstat.c"
    for shape in deep wide; do
        tree=$work/tree-$shape
        if [ ! -d "$tree/t" ]; then
            rm -rf "$tree"
            mkdir -p "$tree"
            python3 - "$tree/t" "$shape" <<'PY'
import os, struct, sys
top, shape = sys.argv[1:]
# 2040 one-character folders: "/t" + "/a" * 2040 + "/x.exe" stays below 4096.
levels = 2040
image = bytearray(4096)
image[0:2] = b"MZ"
struct.pack_into("<I", image, 0x3C, 0x80)
image[0x80:0x84] = b"PE\0\0"
struct.pack_into("<H", image, 0x80 + 22, 0x0102)
os.mkdir(top)
fd = os.open(top, os.O_RDONLY | os.O_DIRECTORY)
for i in range(levels):
    name = "a" if shape == "deep" else "a%d" % i
    os.mkdir(name, dir_fd=fd)
    sub = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
    for j, data in enumerate((bytes(image), b"text\n" * 50, bytes(image[:600]))):
        w = os.open("f%d.exe" % j, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=sub)
        os.write(w, data)
        os.close(w)
    if shape == "deep":
        os.close(fd)
        fd = sub
    else:
        os.close(sub)
os.close(fd)
PY
        fi
        install_root "$tree"
        for name in zqcindervane ${also:+also}; do
            cmd=$(scan_command "$tree" "$name")
            "$bin/runstat" "$work/stat-$shape" sh -c "$cmd </dev/null >$work/out-$shape.txt"
            read -r wall cpu rss code <"$work/stat-$shape"
            images=$(grep -c $'\tResult:Safe' "$work/out-$shape.txt" || true)
            awk -v s="$shape" -v w="$wall" -v r="$rss" -v n="$images" -v c="$code" -v p="$name" 'BEGIN {
                printf "%-12s %-4s 2040 folders (%s), wall %6.2f s, peak RSS %5.1f MiB, %d images Safe, exit %d\n",
                    p, s, (s == "deep" ? "one chain" : "side by side"), w, r / 1024, n, c }'
        done
    done
fi

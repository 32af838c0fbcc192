#!/usr/bin/env bash
# Scan benchmark: the native release program against the least work a scan needs.
#
# bench/scan/run.sh [--files N] [--runs R] [--program PATH] [--corpus DIR] [--no-deep] [--also P]
#
# Makes the corpus (../shared/bench/make_corpus.py) when missing, then, in a
# private mount namespace where the corpus is a mount of its own with proc,
# sys and /dev/shm inside and the program chrooted into it sees nothing else:
# checks the program's results and log against the corpus manifest
# (check_manifest.py), times it warm and cold beside `find -type f`,
# `limit -S` and `limit -t 2`, with every log line written and with logging
# switched off, and reports medians, ratios to `limit -S` and peak memory
# (timing.py); system calls per file and CPU per thread, warm (profile.py,
# with strace); then peak memory on a deep and a wide tree (memory_trees.py).
#
#   --files N     corpus size (default 100000: ~2.7 GiB, ~30 s to make; 20000
#                 for a quick run)
#   --runs R      timed rounds, warm and cold each (default 5)
#   --program P   the program (default build/release/zqcindervane, built when
#                 missing). A build with the test signature is refused: it
#                 would repair the corpus's test-pattern files.
#   --corpus DIR  where the corpus is made or found (default
#                 ${TMPDIR:-/var/tmp}/zq-bench/corpus-N, outside the repository)
#   --no-deep     leave out the deep/wide memory runs
#   --also P      a second build (for instance the one before a change),
#                 checked, timed and measured beside it
#
# Needs root (mount namespace, chroot; dropping the page cache for the cold
# runs). Environment: BENCH_DIR (the shared benchmark tools, default
# ../shared/bench from the project root), BENCH_BIN (where limit is built).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
files=100000 runs=5 program= corpus= deep=1 also=
while [ $# -gt 0 ]; do
    case $1 in
        --files) files=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --program) program=$(realpath "$2"); shift 2 ;;
        --corpus) corpus=$2; shift 2 ;;
        --no-deep) deep=0; shift ;;
        --also) also=$(realpath "$2"); shift 2 ;;
        --in-namespace) in_namespace=1; shift ;;
        -h|--help) sed -n '2,/^set /{/^set /d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
die() { echo "run.sh: $*" >&2; exit 1; }
py() { python3 -B "$@"; }  # nothing written into the source tree

work=$(mkdir -p "${TMPDIR:-/var/tmp}/zq-bench" && cd "${TMPDIR:-/var/tmp}/zq-bench" && pwd)
corpus=${corpus:-$work/corpus-$files}

if [ -z "${in_namespace:-}" ]; then
    [ "$(id -u)" = 0 ] || die "needs root (mount namespace, chroot)"
    bench_dir=${BENCH_DIR:-$root/../shared/bench}
    [ -f "$bench_dir/make_corpus.py" ] || die "no benchmark tools at $bench_dir (set BENCH_DIR)"
    export BENCH_DIR=$(realpath "$bench_dir")
    if [ -z "$program" ]; then
        program=$root/build/release/zqcindervane
        [ -x "$program" ] || (cd "$root" && cmake --preset release >/dev/null &&
                                  cmake --build build/release --target zqcindervane -j2)
    fi
    for p in "$program" $also; do
        [ -x "$p" ] || die "no program at $p"
        ! grep -q "$("$root/scripts/test-signature")" "$p" ||
            die "$p carries the test signature: it would repair the corpus; use a release build"
    done
    case $(realpath -m "$corpus") in
        "$root"/*) die "the corpus must lie outside the repository" ;;
    esac
    if [ ! -f "$corpus/.bench-manifest.tsv" ]; then
        echo "== making the corpus ($files files) in $corpus"
        python3 "$bench_dir/make_corpus.py" "$corpus" --files "$files"
    fi
    # Everything below runs in a private mount namespace: its mounts end with it.
    exec unshare -m --propagation private "$0" --in-namespace --files "$files" --runs "$runs" \
        --program "$program" --corpus "$corpus" ${also:+--also "$also"} \
        $([ "$deep" = 1 ] || echo --no-deep)
fi

corpus=$(realpath "$corpus")
programs=("$program" ${also:+"$also"})
py "$here/scan_env.py" prepare "$corpus" "${programs[@]}"
echo "== the results against the corpus manifest"
py "$here/check_manifest.py" "$corpus" "${programs[@]}"
echo
echo "== load before the timing: $(uptime)"
echo "== timing: $runs rounds warm, $runs cold"
py "$here/timing.py" "$corpus" "$runs" "${programs[@]}"
echo
echo "== load after the timing: $(uptime)"
echo
echo "== system calls per file and CPU per thread, warm"
if command -v strace >/dev/null; then
    py "$here/profile.py" "$corpus" "${programs[@]}"
else
    echo "strace not installed: left out"
fi
if [ "$deep" = 1 ]; then
    echo
    echo "== peak memory: the deepest chain of folders against the same folders side by side"
    py "$here/memory_trees.py" "$work" "${programs[@]}"
fi

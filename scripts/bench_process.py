#!/usr/bin/env python3
"""Whole-process figures: what a user waits for when running plivra-cli.

Usage: python3 scripts/bench_process.py BUILD_DIR [REPETITIONS]

Runs each command as a fresh process on the 1 M-triangle sheets of
bench-cache/ (made by the benchmarks), beside tinyobjloader and, where its
header is there, rapidobj loading the same mesh as OBJ in a process of its
own. Before every timed run about 2 GB of
memory is touched and freed (memory left idle costs several times more to
take again); the commands take turns, and each figure is the median of
REPETITIONS runs (default 5): wall, user and system time apart, and the peak
resident size.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

CELLS_1M = 708
TRIANGLES_1M = 1002528
# The cache's mesh version, as bench/support.cpp names the files.
STEM = "sheet-v1-%d" % CELLS_1M


def timed(argv, cwd, statuses=(0,)):
    """Runs argv; returns wall s, user s, system s, peak KB."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) not in statuses:
        sys.exit("bench: %s failed (status %d)" % (" ".join(argv), status))
    return wall, usage.ru_utime, usage.ru_stime, usage.ru_maxrss


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    repetitions = int(sys.argv[2]) if len(sys.argv) == 3 else 5
    cache = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench-cache")
    start = os.path.join(cache, STEM + "-start.suf")
    target = os.path.join(cache, STEM + "-target.suf")
    obj = os.path.join(cache, STEM + "-start.obj")
    for path in (start, target, obj):
        if not os.path.exists(path):
            sys.exit("bench: %s is missing; the benchmarks make it" % path)
    cli = os.path.join(build, "plivra-cli")
    warm = [os.path.join(build, "bench", "warm_memory"), "2048"]
    cores = len(os.sched_getaffinity(0))
    # The target with its objects reversed, polygons shuffled and corners
    # rotated, for reorder. check of that pair stops at the first object
    # (status 1) and would time little: reorder is set beside check of the
    # pair in order, which compares every corner.
    scrambled = os.path.join(cache, STEM + "-target-scrambled.suf")
    if not os.path.exists(scrambled):
        here = os.path.dirname(os.path.abspath(__file__))
        subprocess.run([sys.executable, os.path.join(here, "scramble_suf.py"), target, scrambled], check=True)
    runs = [
        ("anchor: tinyobjloader load, OBJ", [os.path.join(build, "bench", "tinyobj_load"), obj]),
    ]
    # Built only where the anchor's header stands beside the checkout.
    rapidobj = os.path.join(build, "bench", "rapidobj_load")
    if os.path.exists(rapidobj):
        runs.append(("anchor: rapidobj load, OBJ", [rapidobj, obj]))
    runs += [
        ("plivra-cli info, OBJ", [cli, "info", obj]),
        ("plivra-cli info", [cli, "info", start]),
        ("plivra-cli morph 50", [cli, "morph", start, target, "50", "out.suf"]),
        ("plivra-cli frames 0..100 by 25, --jobs 1", [cli, "frames", start, target, "0", "100", "25",
                                                      "f_{}.suf", "--jobs", "1"]),
        ("plivra-cli frames 0..100 by 25, --jobs %d" % cores,
         [cli, "frames", start, target, "0", "100", "25", "f_{}.suf"]),
        ("plivra-cli check, the pair in order", [cli, "check", start, target]),
        ("plivra-cli reorder, scrambled target", [cli, "reorder", start, scrambled, "out.suf"]),
    ]
    figures = {label: [] for label, _ in runs}
    with tempfile.TemporaryDirectory(dir=cache) as work:
        for _ in range(repetitions):
            for label, argv in runs:
                subprocess.run(warm, check=True)
                figures[label].append(timed(argv, work, (0, 3)))
    anchor = statistics.median(f[0] for f in figures[runs[0][0]])
    print("Whole process, %d triangles, memory warmed before each run; median of %d.\n"
          % (TRIANGLES_1M, repetitions))
    print("| command | wall | user | system | peak | wall / anchor |")
    print("|---|---:|---:|---:|---:|---:|")
    for label, _ in runs:
        wall, user, system, peak = (statistics.median(f[i] for f in figures[label]) for i in range(4))
        print("| %s | %.2f s | %.2f s | %.2f s | %.0f MB | %.2fx |"
              % (label, wall, user, system, peak / 1024, wall / anchor))


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Runs every benchmark executable of a bench build and prints one table.

Usage: python3 scripts/bench_table.py BUILD_DIR [REPETITIONS]

Each row is one operation at one size: the median CPU time of REPETITIONS
runs (default 5; the window's rows the time on the wall), the anchor it is compared with in the same run, the ratio
to that anchor, and the target where there is one. The raw figures are kept
in BUILD_DIR/bench-results/*.json.
"""
import glob
import json
import os
import shutil
import subprocess
import sys

# Benchmark -> (operation shown, anchor benchmark, target).
# A target is ("x", r): at most r times the anchor at 1M triangles;
# ("ms", t): at most t milliseconds at the size given; ("B", b): bytes per vertex.
ROWS = [
    ("BM_LoadSuf", "LoadSuf", "BM_TinyObjLoad", ("x", 0.8, 1002528)),
    ("BM_LoadSuf", "LoadSuf", "BM_TinyObjLoad", ("ms", 4, 3698)),
    ("BM_LoadSufFreshMemory", "LoadSuf into memory new to the program", "BM_TinyObjLoad", None),
    ("BM_TinyObjLoad", "anchor: tinyobjloader, same mesh as OBJ", None, None),
    ("BM_ReadFile", "anchor: read the .suf into memory", "BM_TinyObjLoad", None),
    ("BM_LoadSuf:bytes/vertex", "memory of a loaded shape (B/vertex)", None, ("B", 180, 1002528)),
    ("BM_SaveSuf", "SaveSuf", "BM_FormatSnprintf", ("ms", 1500, 1002528)),
    ("BM_FormatSnprintf", "anchor: snprintf %.14Le of the same values", None, None),
    ("BM_CopySuf", "CopySuf", "BM_ArrayCopy", None),
    ("BM_ArrayCopy", "anchor: copy the values as one array", None, None),
    ("BM_FreeSuf", "FreeSuf", None, ("ms", 50, 1002528)),
    ("BM_Blend", "blend (BlendSuf)", "BM_ArrayBlend", ("ms", 250, 1002528)),
    ("BM_ArrayBlend", "anchor: blend arithmetic over plain arrays", None, None),
    ("BM_FitView", "FitView", "BM_ArrayBlend", None),
    ("BM_DrawSuf", "DrawSuf", "BM_WalkVertices", ("ms", 40, 1002528)),
    ("BM_WalkVertices", "anchor: walk the vertices reading X and Y", None, None),
    ("BM_SliderToPreviews", "window: slider move -> 3 previews repainted (wall)", None, ("ms", 16, 100352)),
    ("BM_SliderToPreviews", "window: slider move -> 3 previews repainted (wall)", None, ("ms", 100, 1002528)),
    ("BM_SliderToPreviewsXvfb", "window on a display (Xvfb): slider move -> 3 previews drawn (wall)",
     "BM_SliderToPreviews", ("ms", 70, 1002528)),
    ("BM_OpenShape", "window: open a start shape -> last view repainted (wall)", None, ("ms", 1500, 1002528)),
]
# Benchmarks that share their work out between threads: the clock on the
# wall, not the CPU time of the thread that waits.
WALL_CLOCK = {"BM_SliderToPreviews", "BM_SliderToPreviewsXvfb", "BM_OpenShape"}
VIEWS = {"0": "XY", "1": "YZ", "2": "ZX"}


def run(build, repetitions):
    out_dir = os.path.join(build, "bench-results")
    os.makedirs(out_dir, exist_ok=True)
    results = []
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    for exe in sorted(glob.glob(os.path.join(build, "bench", "*_bench"))):
        name = os.path.basename(exe)
        out = os.path.join(out_dir, name + ".json")
        print("bench: running %s" % name, file=sys.stderr, flush=True)
        subprocess.run([exe, "--benchmark_repetitions=%d" % repetitions,
                        "--benchmark_report_aggregates_only=true",
                        "--benchmark_out=" + out, "--benchmark_out_format=json"],
                       check=True, env=env, stdout=subprocess.DEVNULL)
        with open(out) as f:
            results.extend(json.load(f)["benchmarks"])
    results.extend(run_on_display(build, repetitions, out_dir))
    return results


def run_on_display(build, repetitions, out_dir):
    """The window's slider row again on a real X server (Xvfb), as
    BM_SliderToPreviewsXvfb; nothing when xvfb-run is missing."""
    exe = os.path.join(build, "bench", "window_bench")
    if not os.path.exists(exe) or shutil.which("xvfb-run") is None:
        return []
    out = os.path.join(out_dir, "window_bench_xvfb.json")
    print("bench: running window_bench on Xvfb", file=sys.stderr, flush=True)
    env = dict(os.environ, QT_QPA_PLATFORM="xcb")
    subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24", exe,
                    "--benchmark_filter=BM_SliderToPreviews",
                    "--benchmark_repetitions=%d" % repetitions,
                    "--benchmark_report_aggregates_only=true",
                    "--benchmark_out=" + out, "--benchmark_out_format=json"],
                   check=True, env=env, stdout=subprocess.DEVNULL)
    with open(out) as f:
        results = json.load(f)["benchmarks"]
    for r in results:
        r["run_name"] = r["run_name"].replace("BM_SliderToPreviews", "BM_SliderToPreviewsXvfb", 1)
    return results


def to_ms(value, unit):
    return value * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]


def collect(results):
    """(benchmark, detail, triangles) -> median CPU ms, plus counters."""
    medians = {}
    for r in results:
        if r.get("aggregate_name") != "median":
            continue
        parts = r["run_name"].split("/")
        bench = parts[0]
        args = [p for p in parts[1:] if ":" not in p]
        detail = ""
        if bench == "BM_DrawSuf":  # view, width, cells
            detail = "%s %s" % (VIEWS[args[0]], "149x141" if args[1] == "149" else "97x85")
        triangles = int(r.get("triangles", 0)) or 2 * int(args[-1]) ** 2
        time = r["real_time"] if bench in WALL_CLOCK else r["cpu_time"]
        medians[(bench, detail, triangles)] = to_ms(time, r["time_unit"])
        if "bytes/vertex" in r:
            medians[(bench + ":bytes/vertex", detail, triangles)] = r["bytes/vertex"]
    return medians


def fmt_ms(ms):
    if ms >= 100:
        return "%.0f ms" % ms
    if ms >= 1:
        return "%.1f ms" % ms
    return "%.3f ms" % ms


def table(medians):
    lines = ["| operation | triangles | median | anchor ratio | target |",
             "|---|---:|---:|---:|---|"]
    seen = set()
    for bench, label, anchor, target in ROWS:
        keys = sorted(k for k in medians if k[0] == bench)
        for key in keys:
            _, detail, triangles = key
            value = medians[key]
            is_bytes = bench.endswith("bytes/vertex")
            if is_bytes and triangles != 1002528:
                continue
            goal = ""
            if target is not None and target[2] == triangles:
                kind, limit = target[0], target[1]
                if kind == "x" and anchor is not None and (anchor, "", triangles) in medians:
                    ok = value <= limit * medians[(anchor, "", triangles)]
                    goal = "<= %.2fx anchor: %s" % (limit, "met" if ok else "NOT met")
                elif kind == "ms":
                    goal = "<= %g ms: %s" % (limit, "met" if value <= limit else "NOT met")
                elif kind == "B":
                    goal = "<= %g B: %s" % (limit, "met" if value <= limit else "NOT met")
            if key in seen and not goal:
                continue
            if key in seen:
                # A second target for a row already shown: add it to that line.
                for i, line in enumerate(lines):
                    if line.startswith("| %s%s | %d |" % (label, " " + detail if detail else "", triangles)):
                        head, before = line[:-2].rsplit("| ", 1)
                        lines[i] = head + "| " + (before + "; " if before.strip() else "") + goal + " |"
                continue
            seen.add(key)
            ratio = ""
            if anchor is not None and (anchor, "", triangles) in medians:
                ratio = "%.2fx" % (value / medians[(anchor, "", triangles)])
            shown = "%.0f B" % value if is_bytes else fmt_ms(value)
            lines.append("| %s%s | %d | %s | %s | %s |" % (
                label, " " + detail if detail else "", triangles, shown, ratio, goal))
    return "\n".join(lines)


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    repetitions = int(sys.argv[2]) if len(sys.argv) == 3 else 5
    medians = collect(run(sys.argv[1], repetitions))
    print("CPU time, median of %d runs; ratios are to the anchor measured in the same run.\n"
          % repetitions)
    print(table(medians))


if __name__ == "__main__":
    main()

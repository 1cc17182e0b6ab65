#!/usr/bin/env bash
# Times 'plivra-cli import' of a one-million-triangle OBJ file (load and
# write the shape file) and 'plivra-cli info' (load only) beside a program
# that only loads the same file with tinyobjloader (polygons kept, floats);
# whole processes, runs interleaved; prints the median of each.
#   bash bench/obj_import_time.sh PLIVRA_CLI [RUNS]
set -euo pipefail
cli=$(realpath "$1")
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A 708 x 708 grid of shared vertices, lifted into a wave: 1,000,000
# triangles over 502,681 vertices, values with six decimals.
python3 - "$tmp/big.obj" <<'PY'
import math, sys
n = 708
with open(sys.argv[1], "w") as f:
    f.write("o wave\n")
    for i in range(n + 1):
        f.write("".join("v %d %d %.6f\n" % (i, j, math.sin(i * 0.1) * math.cos(j * 0.1)) for j in range(n + 1)))
    rows, count = [], 0
    for i in range(n):
        for j in range(n):
            if count == 1_000_000: break
            a = i * (n + 1) + j + 1
            b, c, d = a + n + 1, a + n + 2, a + 1
            rows.append("f %d %d %d\nf %d %d %d\n" % (a, b, c, a, c, d))
            count += 2
    f.write("".join(rows))
PY

cat >"$tmp/tinyobj_only.cpp" <<'CPP'
#include <tiny_obj_loader.h>
#include <cstdio>
int main(int, char** argv) {
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(argv[1], config)) return 1;
    std::printf("%zu faces\n", reader.GetShapes()[0].mesh.num_face_vertices.size());
}
CPP
g++ -O2 -std=c++20 "$tmp/tinyobj_only.cpp" -o "$tmp/tinyobj_only" -ltinyobjloader

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
: >"$tmp/import.txt"
: >"$tmp/info.txt"
: >"$tmp/tiny.txt"
for ((r = 0; r < runs; r++)); do
    /usr/bin/time -f '%e %U %S %M' -a -o "$tmp/import.txt" "$cli" import "$tmp/big.obj" "$tmp/big.suf"
    /usr/bin/time -f '%e %U %S %M' -a -o "$tmp/info.txt" "$cli" info "$tmp/big.obj" >/dev/null
    /usr/bin/time -f '%e %U %S %M' -a -o "$tmp/tiny.txt" "$tmp/tinyobj_only" "$tmp/big.obj" >/dev/null
done
for name in import info tiny; do
    printf '%-6s elapsed %s s  user %s s  sys %s s  max RSS %s KiB (median of %d)\n' "$name" \
        "$(cut -d' ' -f1 "$tmp/$name.txt" | median)" "$(cut -d' ' -f2 "$tmp/$name.txt" | median)" \
        "$(cut -d' ' -f3 "$tmp/$name.txt" | median)" "$(cut -d' ' -f4 "$tmp/$name.txt" | median)" "$runs"
done

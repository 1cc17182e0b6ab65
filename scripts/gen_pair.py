#!/usr/bin/env python3
"""Writes a large pair of corresponding shapes for timing the blend.

Usage: python3 scripts/gen_pair.py TRIANGLES START.suf TARGET.suf [OBJECTS]

START is a flat sheet of TRIANGLES triangles split over OBJECTS objects
(default 10); TARGET has the same objects, polygons and vertices, lifted
into a wave. Both are written in the writer's layout with CR LF line ends.
"""
import math
import sys


def write(path, triangles, objects, wave):
    per_object = -(-triangles // objects)
    side = max(1, math.isqrt(per_object // 2 + 1))
    with open(path, "w", newline="") as f:
        left = triangles
        for o in range(objects):
            count = min(per_object, left)
            left -= count
            lines = ["obj suf part%d {" % o, "atr %s" % ("even" if o % 2 == 0 else "odd")]
            for t in range(count):
                cell, upper = divmod(t, 2)
                i, j = divmod(cell, side)
                corners = [(i, j), (i + 1, j), (i + 1, j + 1)] if upper == 0 else [(i, j), (i + 1, j + 1), (i, j + 1)]
                lines.append("prim poly (")
                for x, y in corners:
                    x = x + o * (side + 1)
                    z = round(math.sin(x * 0.1) * math.cos(y * 0.1), 6) if wave else 0
                    lines.append("    %d %d %s" % (x, y, repr(z) if z else "0"))
                lines.append(")")
            lines.append("}")
            f.write("\r\n".join(lines) + "\r\n")


def main():
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    triangles = int(sys.argv[1])
    objects = int(sys.argv[4]) if len(sys.argv) == 5 else 10
    write(sys.argv[2], triangles, objects, False)
    write(sys.argv[3], triangles, objects, True)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes a shape file with its objects, polygons and corners in another order.

Usage: python3 scripts/scramble_suf.py IN.suf OUT.suf [--seed N] [--mirror]

The objects come in reverse order, the polygons of each object shuffled and
the corners of each polygon rotated by a random amount; --mirror also
reverses the corners of every polygon of the first object of IN. Every
record keeps its values, so `plivra-cli reorder IN OUT.suf FIXED.suf` gives
back IN's order. IN must be in the layout plivra writes (one keyword or
vertex a line, no comments), as `plivra-cli import` and `morph` write it.
"""
import random
import sys


def read(path):
    """Objects as [name, [(attribute, kind, [vertex line, ...]), ...]]."""
    objects, attribute = [], None
    with open(path, newline="") as f:
        lines = [line.rstrip("\r\n") for line in f]
    i = 0
    while i < len(lines):
        words = lines[i].split()
        i += 1
        if not words:
            continue
        if words[0] == "obj":
            objects.append([words[2], []])
        elif words[0] == "atr":
            attribute = words[1]
        elif words[0] == "prim":
            vertices = []
            while lines[i].strip() != ")":
                vertices.append(lines[i])
                i += 1
            i += 1
            objects[-1][1].append((attribute, words[1], vertices))
        elif words[0] != "}":
            sys.exit("scramble_suf: %s: line %d is not in plivra's layout" % (path, i))
    return objects


def write(path, objects):
    out, written = [], None
    for name, polygons in objects:
        out.append("obj suf %s {" % name)
        written = None  # the writer repeats the attribute in each object
        for attribute, kind, vertices in polygons:
            if attribute != written:
                if attribute is None:
                    sys.exit("scramble_suf: a polygon without an attribute cannot follow one with")
                out.append("atr %s" % attribute)
                written = attribute
            out.append("prim %s (" % kind)
            out.extend(vertices)
            out.append(")")
        out.append("}")
    with open(path, "w", newline="") as f:
        f.write("".join(line + "\r\n" for line in out))


def main():
    args = sys.argv[1:]
    seed, mirror = 1, False
    if "--mirror" in args:
        args.remove("--mirror")
        mirror = True
    if "--seed" in args:
        at = args.index("--seed")
        seed = int(args[at + 1])
        del args[at:at + 2]
    if len(args) != 2:
        sys.exit(__doc__)
    rng = random.Random(seed)
    objects = read(args[0])
    for number, (_, polygons) in enumerate(objects):
        rng.shuffle(polygons)
        for p, (attribute, kind, vertices) in enumerate(polygons):
            turn = rng.randrange(len(vertices)) if vertices else 0
            vertices = vertices[turn:] + vertices[:turn]
            if mirror and number == 0:
                vertices.reverse()
            polygons[p] = (attribute, kind, vertices)
    objects.reverse()
    write(args[1], objects)


if __name__ == "__main__":
    main()

#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/run.sh PLIVRA_CLI SOURCE_DIR
# Runs every command on small files written to a temporary folder and on the
# shipped examples; checks exit statuses, stdout, stderr and written files.
set -u

cli=$(realpath "$1")
src=$(realpath "$2")
ex="$src/examples"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1

passed=0
failed=0
out=""
err=""
code=0

# run ARGS...: runs plivra-cli, keeps its stdout, stderr and exit status.
run() {
    "$cli" "$@" >"$tmp/stdout" 2>"$tmp/stderr"
    code=$?
    out=$(cat "$tmp/stdout")
    err=$(cat "$tmp/stderr")
}

pass() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    echo "FAIL: $1"
    echo "  exit $code"
    echo "  stdout: $(head -c 600 "$tmp/stdout")"
    echo "  stderr: $(head -c 600 "$tmp/stderr")"
}

# expect NAME STATUS [stdout|stderr TEXT]...: the last run exited with STATUS
# and each named stream contains its TEXT.
expect() {
    local name=$1 status=$2
    shift 2
    if [ "$code" != "$status" ]; then
        fail "$name (exit $code, wanted $status)"
        return
    fi
    while [ $# -ge 2 ]; do
        local stream=$1 text=$2
        shift 2
        if ! grep -qF -- "$text" "$tmp/$stream"; then
            fail "$name ($stream lacks: $text)"
            return
        fi
    done
    pass
}

# same NAME FILE1 FILE2: the two files are byte for byte equal.
same() {
    if cmp -s "$2" "$3"; then pass; else
        failed=$((failed + 1))
        echo "FAIL: $1 ($2 and $3 differ)"
        diff <(cat -A "$2") <(cat -A "$3") | head -10
    fi
}

# check_true NAME COMMAND...: the command succeeds.
check_true() {
    local name=$1
    shift
    if "$@"; then pass; else
        failed=$((failed + 1))
        echo "FAIL: $name"
    fi
}

crlf() { printf '%s\r\n' "$@"; }

# ---- small shapes ----------------------------------------------------------

# one triangle in object a, then object b with a poly and a shade polygon
crlf "obj suf a {" "atr red" "prim poly (" "    0 0 0" "    2 4 -6" "    1 1 1" ")" "}" \
     "obj suf b {" "atr red" "prim poly (" "    1 0 0" "    0 1 0" "    0 0 1" ")" \
     "atr blue" "prim shade (" "    0 0 0  0 0 1" "    1 0 0  0 0 1" "    0 1 0  0 0 1" ")" "}" >start.suf
crlf "obj suf a {" "atr red" "prim poly (" "    2 4 -6" "    0 0 0" "    1 1 1" ")" "}" \
     "obj suf b {" "atr red" "prim poly (" "    3 0 0" "    0 3 0" "    0 0 3" ")" \
     "atr blue" "prim shade (" "    0 0 0  1 0 0" "    1 0 0  1 0 0" "    0 1 0  1 0 0" ")" "}" >target.suf
# start with its first polygon one vertex short
sed '5d' start.suf >short_vertex.suf
# target with object b lacking its second polygon
head -n 16 target.suf >short_polygon.suf
crlf "}" >>short_polygon.suf
# start with a third object
cat start.suf >extra_object.suf
crlf "obj suf c {" "}" >>extra_object.suf

: >empty.suf
printf '/* nothing but a comment */\r\n' >comment_only.suf
crlf "obj wrl a {" >bad_format.suf
crlf "" "atr red" >bad_grammar.suf
crlf "obj suf a {" "prim poly (" "0 0 0" "1 0 0" "0 1 0)" "}" >bad_number.suf
mkdir folder.suf

# Comments, a plus sign, a trailing point and zero, an exponent of zero,
# and a name in bytes that are not UTF-8 (Shift-JIS).
printf 'obj suf \x83\x65\x83\x58\x83\x67 { /* a test */\r\nprim poly (\r\n+1.0 2.50 3e0\r\n0 0 0\r\n1 0 0\r\n)\r\n}\r\n' >forms.suf
printf 'obj suf \x83\x65\x83\x58\x83\x67 {\r\nprim poly (\r\n    1 2.5 3\r\n    0 0 0\r\n    1 0 0\r\n)\r\n}\r\n' >forms_written.suf

# ---- usage -----------------------------------------------------------------

run
expect "no command is a usage error" 2 stderr "usage: plivra-cli COMMAND"
run --help
expect "--help lists the commands" 0 stdout "morph" stdout "frames" stdout "check" stdout "info" \
    stdout "render"
run --version
expect "--version names the program" 0 stdout "plivra-cli "
[ "$(wc -l <"$tmp/stdout")" -eq 1 ] && pass || fail "--version prints one line"
run blend a b
expect "unknown command" 2 stderr "unknown command 'blend'" stderr "usage:"
for command in morph frames check info render; do
    run "$command" --help
    expect "$command --help" 0 stdout "usage: plivra-cli $command"
    run "$command"
    expect "$command without arguments" 2 stderr "usage: plivra-cli $command"
    run "$command" start.suf start.suf start.suf start.suf start.suf start.suf start.suf
    expect "$command with too many arguments" 2 stderr "usage: plivra-cli $command"
    run "$command" --fast start.suf
    expect "$command with an unknown option" 2 stderr "unknown option '--fast'"
done
for percent in abc 5.5 2147483648 -2147483649 "" 1e2 "+-5"; do
    run morph start.suf target.suf "$percent" out.suf
    expect "morph percent '$percent' is refused" 2 stderr "PERCENT must be a whole number"
done
check_true "refused morph writes nothing" test ! -e out.suf
run frames start.suf target.suf 0 100 0 'f{}.suf'
expect "frames step 0" 2 stderr "STEP must not be 0"
run frames start.suf target.suf 0 100 -10 'f{}.suf'
expect "frames step going away from TO" 2 stderr "never reaches TO"
run frames start.suf target.suf 0 100 30 'f{}.suf'
expect "frames step passing over TO" 2 stderr "never reaches TO"
run frames start.suf target.suf 0 100 50 'frame.suf'
expect "frames pattern without {}" 2 stderr 'PATTERN must hold "{}" exactly once'
run frames start.suf target.suf 0 100 50 'f{}{}.suf'
expect "frames pattern with two {}" 2 stderr 'PATTERN must hold "{}" exactly once'
check_true "refused frames write nothing" test -z "$(ls f[0-9-]*.suf frame.suf 2>/dev/null)"

# ---- inputs that are not shapes --------------------------------------------

run info missing.suf
expect "missing file" 1 stderr "missing.suf: "
check_true "a load failure is one line" test "$(wc -l <stderr)" -eq 1
run info folder.suf
expect "folder as input" 1 stderr "folder.suf: "
run info empty.suf
expect "empty file" 1 stderr "empty.suf: holds no shape"
run info comment_only.suf
expect "comment only" 1 stderr "comment_only.suf: holds no shape"
run info bad_format.suf
expect "format error" 1 stderr "bad_format.suf: 1行において未知の形式の形状ファイルです。"
run info bad_grammar.suf
expect "grammar error" 1 stderr "bad_grammar.suf: 形状データの文法が2行において変です。"
run info bad_number.suf
expect "conversion error" 1 stderr "bad_number.suf: '0)' は浮動小数点数ではありません"
run morph start.suf missing.suf 50 out.suf
expect "morph with a missing target" 1 stderr "missing.suf: "
check_true "failed morph writes nothing" test ! -e out.suf
run check empty.suf start.suf
expect "check with an empty start" 1 stderr "empty.suf: holds no shape"

# ---- morph -----------------------------------------------------------------

run morph "$ex/box.suf" "$ex/box.suf" 0 box0.suf
expect "morph box box 0" 0
same "morph A A 0 writes A as read" box0.suf "$ex/box.suf"
run morph "$ex/box.suf" "$ex/rounded_box.suf" 100 box100.suf
expect "morph box rounded_box 100" 0
same "100 percent gives the target exactly" box100.suf "$ex/rounded_box.suf"
printf 'obj suf a {\r\nprim poly (\r\n    815 0.1 -3\r\n)\r\n}\r\n' >far.suf
printf 'obj suf a {\r\nprim poly (\r\n    0 0.7 1E-5\r\n)\r\n}\r\n' >near.suf
run morph far.suf near.suf 100 near100.suf
same "100 percent lands on the target values, zero included" near100.suf near.suf
run morph forms.suf forms.suf 0 forms0.suf
same "morph A A 0 writes numbers and names as the library reads them" forms0.suf forms_written.suf

run morph start.suf target.suf 50 half.suf
expect "morph at 50" 0
check_true "50 percent gives the midpoints" grep -qF $'    1 2 -3\r' half.suf
check_true "50 percent keeps the start's names" grep -qF $'obj suf b {\r' half.suf
check_true "50 percent blends normals" grep -qF $'    1 0 0  0.5 0 0.5\r' half.suf
run morph start.suf target.suf 150 beyond.suf
check_true "150 percent extrapolates past the target" grep -qF $'    3 6 -9\r' beyond.suf
run morph start.suf target.suf -50 before.suf
check_true "-50 percent extrapolates before the start" grep -qF $'    -1 -2 3\r' before.suf

run morph short_vertex.suf target.suf 100 partial.suf
expect "morph with a shorter start polygon" 0
check_true "the pairs that exist are blended" grep -qF $'    3 0 0\r' partial.suf

run morph start.suf target.suf 50 out.suf --timings
expect "morph --timings" 0 stderr "load start" stderr "blend" stderr "save"

run morph start.suf target.suf 50 no_such_folder/out.suf
expect "output in a missing folder" 1 stderr "no_such_folder/out.suf: "
run morph start.suf target.suf 50 folder.suf
expect "output over a folder" 1 stderr "folder.suf: "
cp start.suf keep.suf
printf 'obj suf a {\r\nprim poly (\r\n1E308 0 0\r\n)\r\n}\r\n' >huge_a.suf
printf 'obj suf a {\r\nprim poly (\r\n-1E308 0 0\r\n)\r\n}\r\n' >huge_b.suf
run morph huge_a.suf huge_b.suf 1000 keep.suf
expect "a blend beyond the double range is not saved" 1 stderr "keep.suf: "
same "a refused save leaves the target as it was" keep.suf start.suf

# ---- frames ----------------------------------------------------------------

run frames start.suf target.suf 0 100 50 'f_{}.suf'
expect "frames 0..100 by 50" 0 stdout "f_000.suf" stdout "f_050.suf" stdout "f_100.suf"
same "frame 050 is the blend at 50" f_050.suf half.suf
run frames start.suf target.suf -50 150 100 'g_{}.suf'
expect "frames -50..150 by 100" 0 stdout "g_-50.suf" stdout "g_050.suf" stdout "g_150.suf"
same "frame -50 is the blend at -50" g_-50.suf before.suf
run frames start.suf target.suf 5 5 1 'h_{}.suf'
expect "frames of one percentage" 0 stdout "h_005.suf"
run frames start.suf target.suf 100 0 -50 'k_{}.suf'
expect "frames going down" 0
check_true "frames going down in order" test "$(cat stdout | tr '\n' ' ')" = "k_100.suf k_050.suf k_000.suf "
run frames start.suf target.suf 0 10 5 'no_such_folder/{}.suf'
expect "frames into a missing folder" 1 stderr "no_such_folder/000.suf: "

# ---- check -----------------------------------------------------------------

run check "$ex/box.suf" "$ex/rounded_box.suf"
expect "check examples box" 0 stdout "2 objects, 32 polygons, 120 vertices" stdout "the shapes correspond"
run check "$ex/grid.suf" "$ex/wave.suf"
expect "check examples grid" 0 stdout "the shapes correspond"
run check short_vertex.suf target.suf
expect "check finds a vertex mismatch" 1 stdout "start  short_vertex.suf: 2 objects, 3 polygons, 8 vertices" \
    stdout 'first mismatch: object 1 ("a" / "a"), polygon 1: start has 2 vertices, target 3 (vertex 3 has no partner)'
run check start.suf short_polygon.suf
expect "check finds a polygon mismatch" 1 \
    stdout 'first mismatch: object 2 ("b" / "b"): start has 2 polygons, target 1 (polygon 2 has no partner)'
run check extra_object.suf start.suf
expect "check finds an extra object" 1 \
    stdout 'first mismatch: object 3 ("c") of the start has no partner in the target'
run check start.suf extra_object.suf
expect "check finds an extra target object" 1 stdout 'object 3 ("c") of the target has no partner in the start'
run check "$ex/box.suf" "$ex/wave.suf"
expect "check examples box against wave" 1 stdout "first mismatch: object 1"

# json_ok NAME PYTHON_EXPRESSION: stdout of the last run is JSON and the
# expression over it (as d) is true.
json_ok() {
    if python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding="utf-8")); sys.exit(0 if eval("(" + sys.argv[2] + ")") else 1)' \
        "$tmp/stdout" "$2" 2>"$tmp/json_error"; then pass; else
        failed=$((failed + 1))
        echo "FAIL: $1 ($2)"
        head -c 600 "$tmp/stdout"
        cat "$tmp/json_error"
    fi
}

run check "$ex/box.suf" "$ex/rounded_box.suf"
expect "check compares the corners of corresponding shapes" 0 \
    stdout "shared corners: 35 in the start, 35 in the target; none breaks" \
    stdout "displacement of paired polygons: median "
run check "$ex/box.suf" "$ex/rounded_box.suf" --json
expect "check --json of corresponding shapes" 0
json_ok "JSON of corresponding shapes" \
    'd["status"] == 0 and d["corresponds"] and d["corners_agree"] and d["first_mismatch"] is None
     and d["start"]["vertices"] == 120 and d["corners"]["in_start"] == 35 and d["corners"]["broken"] == []'

# Object a's first two vertices swapped: the same counts, and (0 0 0), which
# the start shares between a and b, is no longer shared.
run check start.suf target.suf
expect "check finds corners broken by a reordered polygon" 3 \
    stdout "shared corners: 3 in the start, 1 in the target; 3 of the start's come apart in the target, 1 of the target's are apart in the start" \
    stdout 'the start shares (0 0 0) between object 1 ("a" / "a"), polygon 1, vertex 1 and object 2 ("b" / "b"), polygon 2, vertex 1; the target has them at (2 4 -6) and (0 0 0)' \
    stdout 'the target shares (0 0 0) between object 1 ("a" / "a"), polygon 1, vertex 2' \
    stdout "the counts correspond but the corners do not"
run check start.suf target.suf --json
expect "check --json of a reordered pair" 3
json_ok "JSON of a reordered pair" \
    'd["status"] == 3 and d["corresponds"] and not d["corners_agree"]
     and d["corners"]["broken_in_start"] == 3 and d["corners"]["broken_in_target"] == 1
     and d["corners"]["broken"][0]["first"] == {"object": 1, "polygon": 1, "vertex": 1, "start_name": "a", "target_name": "a"}
     and d["corners"]["broken"][0]["apart_elsewhere"] == [0, 0, 0]'
run check "$ex/box.suf" "$ex/rounded_box_reordered.suf"
expect "check catches the shipped reordered example" 3 \
    stdout "9 of the start's come apart in the target" \
    stdout 'the start shares (-1 0 1) between object 1 ("body" / "body"), polygon 1, vertex 4 and object 1 ("body" / "body"), polygon 2, vertex 1' \
    stdout '1 move more than 10 times that (a hint only)' stdout 'object 2 ("plinth" / "plinth"), polygon 1: '

crlf "obj suf k {" "prim poly (" "0 0 0" "1 0 0" "0 1 0" ")" "prim poly (" "0 0 0" "1 0 0" "0 1 0" ")" "}" >kind_poly.suf
crlf "obj suf k {" "prim poly (" "0 0 0" "1 0 0" "0 1 0" ")" "prim shade (" "0 0 0 0 0 1" "1 0 0 0 0 1" "0 1 0 0 0 1" ")" "}" >kind_shade.suf
run check kind_poly.suf kind_shade.suf
expect "check finds polygons of another kind" 1 \
    stdout "pairs of polygons that differ: 0 in vertex count, 1 in kind" \
    stdout 'object 1 ("k" / "k"), polygon 2: poly with 3 vertices / shade with 3 vertices' \
    stdout "shared corners: 3 in the start, 3 in the target; none breaks" stdout "the shapes do not correspond"
run check kind_poly.suf kind_shade.suf --json
json_ok "JSON of a kind mismatch" \
    'd["status"] == 1 and not d["corresponds"] and d["kind_mismatches"] == 1
     and d["polygon_mismatches"][0]["start_kind"] == "poly" and d["polygon_mismatches"][0]["target_kind"] == "shade"'
run check short_vertex.suf target.suf --json
expect "check --json of a vertex mismatch" 1
json_ok "JSON of a vertex mismatch" \
    'd["first_mismatch"] == {"level": "vertices", "object": 1, "polygon": 1, "start_name": "a", "target_name": "a", "start_count": 2, "target_count": 3}
     and d["corners"] is None and d["vertex_count_mismatches"] == 1'
run check extra_object.suf start.suf --json
json_ok "JSON of an extra object" \
    'd["first_mismatch"]["level"] == "objects" and d["first_mismatch"]["start_name"] == "c" and d["first_mismatch"]["target_name"] is None'
# Numbers read back as the double they stand for; a displacement beyond the
# double range is null, not a number JSON readers take for an infinity.
crlf "obj suf a {" "prim poly (" "-1.7e308 0.30000000000000004 0" "-1.7e308 1 0" "-1.7e308 0.5 1" ")" "}" >far_start.suf
crlf "obj suf a {" "prim poly (" "1.7e308 0.30000000000000004 0" "1.7e308 1 0" "1.7e308 0.5 1" ")" "}" >far_target.suf
run check far_start.suf far_target.suf --json
expect "check --json of a displacement beyond the double range" 0
json_ok "JSON numbers stay in the double range" \
    'd["displacement"]["median"] is None and d["displacement"]["outlier_factor"] == 10'
run info far_start.suf --json
json_ok "JSON numbers read back as the same double" \
    'd["extents"]["min"] == [-1.7e308, 0.30000000000000004, 0] and d["extents"]["max"] == [-1.7e308, 1, 1]'
# A name that is not UTF-8 still gives valid JSON, one code point per byte.
printf 'obj suf \x83\x65\x83\x58\x83\x67 {\r\nprim poly (\r\n0 0 0\r\n1 0 0\r\n)\r\n}\r\n' >forms_short.suf
run check forms.suf forms_short.suf --json
expect "check --json with a Shift-JIS name" 1
json_ok "JSON keeps the bytes of a Shift-JIS name" \
    'd["first_mismatch"]["start_name"].encode("latin-1") == b"\x83\x65\x83\x58\x83\x67"'

# ---- info ------------------------------------------------------------------

run info "$ex/box.suf"
expect "info box" 0 stdout "objects: 2" stdout '1 "body": 24 polygons, 96 vertices' \
    stdout "polygons: 32 (poly 12, shade 16, uvpoly 4, uvshade 0)" stdout "vertices: 120" \
    stdout "attributes: label, base, paint, stone"
run info start.suf
expect "info small shape" 0 stdout '1 "a": 1 polygons, 3 vertices, X 0 .. 2, Y 0 .. 4, Z -6 .. 1' \
    stdout "attributes: red, blue" stdout "extents: X 0 .. 2, Y 0 .. 4, Z -6 .. 1"
run info forms.suf
expect "info prints names as their bytes" 0 stdout "$(printf '1 "\x83\x65\x83\x58\x83\x67"')" \
    stdout "attributes: none"
run info "$ex/box.suf" --json
expect "info --json" 0
json_ok "info JSON of the box" \
    '[o["name"] for o in d["objects"]] == ["body", "plinth"] and d["objects"][0]["polygons"] == 24
     and d["objects"][1]["vertices"] == 24 and d["objects"][1]["extents"] == {"min": [-1.4, -1.4, -1.3], "max": [1.4, 1.4, -1.3]}
     and d["polygons_by_kind"] == {"poly": 12, "shade": 16, "uvpoly": 4, "uvshade": 0}
     and d["vertices"] == 120 and d["attributes"] == ["label", "base", "paint", "stone"]
     and d["extents"] == {"min": [-1.4, -1.4, -1.3], "max": [1.4, 1.4, 1]}'
# A UTF-8 name passes through; quotes and backslashes are escaped (the
# reader ends a name at the quote's following byte).
printf 'obj suf \xe5\x90\x8d\xe5\x89\x8d {\r\nprim poly (\r\n0 0 0\r\n)\r\n}\r\nobj suf a"b {\r\n}\r\nobj suf b\\c {\r\n}\r\n' >names.suf
run info names.suf --json
json_ok "info JSON keeps UTF-8 names and escapes quotes and backslashes" \
    '[o["name"] for o in d["objects"]] == ["\u540d\u524d", "a\"", "b\\c"]'
run info extra_object.suf --json
json_ok "info JSON of an object without vertices" \
    'd["objects"][2] == {"name": "c", "polygons": 0, "vertices": 0, "extents": None}
     and d["extents"]["min"] == [0, 0, -6]'

if [ -w /dev/full ]; then
    "$cli" info start.suf >/dev/full 2>"$tmp/stderr"
    code=$?
    expect "a report that cannot be written is a failure" 1 stderr "cannot write to standard output"
fi

# ---- render ----------------------------------------------------------------

# png_pixels FILE X,Y...: prints "WIDTH HEIGHT" and then RRGGBB of each pixel
# asked for, one per line, decoding the 8-bit RGB picture with Python's zlib.
# In place of X,Y, "=RRGGBB" or "!RRGGBB" prints the box "LEFT TOP RIGHT
# BOTTOM" of the pixels of (or not of) that colour, or "none"; "@X0,Y0,X1,Y1"
# after it keeps to that rectangle, both ends included.
png_pixels() {
    python3 - "$@" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n'
pos, idat = 8, b''
while pos < len(data):
    length, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b'IHDR':
        width, height, depth, colour = struct.unpack('>IIBB', body[:10])
        assert (depth, colour) == (8, 2)
    elif kind == b'IDAT':
        idat += body
    pos += 12 + length
raw, stride, rows, prev = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - 3] if i >= 3 else 0
        b, c = prev[i], prev[i - 3] if i >= 3 else 0
        if kind == 1: line[i] = (line[i] + a) & 255
        elif kind == 2: line[i] = (line[i] + b) & 255
        elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif kind == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    rows.append(line)
    prev = line
print(width, height)
for spot in sys.argv[2:]:
    if spot[0] in '=!':
        colour, _, area = spot[1:].partition('@')
        x0, y0, x1, y1 = map(int, area.split(',')) if area else (0, 0, width - 1, height - 1)
        hits = [(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)
                if (rows[y][3 * x:3 * x + 3].hex() == colour) == (spot[0] == '=')]
        print(' '.join(map(str, (min(h[0] for h in hits), min(h[1] for h in hits),
                                 max(h[0] for h in hits), max(h[1] for h in hits)))) if hits else 'none')
        continue
    x, y = map(int, spot.split(','))
    print(rows[y][3 * x:3 * x + 3].hex())
PY
}

# 0,10          one pixel is 0.2 units on 101x101: corners at columns 0
#  |   \        and 100, rows 25 and 75. Grid: column 0 solid, 50 and 100
# 0,0 --- 20,0  dotted; its only row, 75, lies under the bottom edge.
crlf "obj suf t {" "prim poly (" "0 0 0" "20 0 0" "0 10 0" ")" "}" >triangle.suf
run render triangle.suf triangle.png --size 101x101 --grid
expect "render triangle" 0
grey=808080 blue=0000ff cyan=00ffff
check_true "render: size, background, grid, edges" test "$(png_pixels triangle.png 99,5 50,0 50,1 50,2 \
    0,1 100,0 100,1 0,50 30,75 50,50 | tr '\n' ' ')" = \
    "101 101 $grey $blue $grey $blue $blue $blue $grey $cyan $cyan $cyan "
run render triangle.suf triangle_plain.png --size 101x101
expect "render without grid" 0
check_true "render without grid draws none" test "$(png_pixels triangle_plain.png 50,0 0,10 | tr '\n' ' ')" = \
    "101 101 $grey $grey "
run render "$ex/wave.suf" wave.png --view zx
expect "render example default size" 0
check_true "render default size 400x400" test "$(png_pixels wave.png | tr '\n' ' ')" = "400 400 "
for view in xy yz zx; do
    run render "$ex/box.suf" "box_$view.png" --view "$view" --size 64x48 --grid
    expect "render box $view" 0
done
check_true "render views differ" test "$(cmp -s box_xy.png box_zx.png; echo $?)" = 1

# A cross far from the origin, its arms crossing at (100, 200, 300): the fitted
# camera looks at that point, which lands on the centre pixel, seen obliquely
# from the +X side; the corners stay empty.
crlf "obj suf cross {" "prim poly (" "100 190 300" "100 210 300" ")" \
    "prim poly (" "100 200 290" "100 200 310" ")" "}" >cross.suf
run render cross.suf cross.png --view perspective --size 101x101
expect "render perspective" 0
check_true "render perspective: the aim point on the centre" test \
    "$(png_pixels cross.png 50,50 0,0 100,0 0,100 100,100 | tr '\n' ' ')" = \
    "101 101 $cyan $grey $grey $grey $grey "
run render "$ex/box.suf" box_perspective.png --view perspective --size 64x48
expect "render box perspective" 0

for size in 0x10 10x0 10 10x 10x10x10 x10 -5x10 8193x10 abc; do
    run render triangle.suf bad.png --size "$size"
    expect "render size '$size' is refused" 2 stderr "bad size '$size'"
done
run render triangle.suf bad.png --view iso
expect "render unknown view" 2 stderr "unknown view 'iso'"
run render triangle.suf bad.png --size
expect "render option without value" 2 stderr "option '--size' needs a value"
check_true "refused render writes nothing" test ! -e bad.png
run render missing.suf out.png
expect "render missing input" 1 stderr "missing.suf"
check_true "render of a missing input writes nothing" test ! -e out.png
run render triangle.suf no_such_folder/out.png
expect "render into a missing folder" 1 \
    stderr "no_such_folder/out.png: ファイル「no_such_folder/out.png」に保存できません（ファイルまたはフォルダーがありません）。"

# A fit that would put the eye or the centre beyond the double range is an
# error, and no picture is written: the perspective eye moves out to 2/3 of
# the box diagonal, here 2.27e308; frames at 200 percent towards a target
# 1e308 away are centred at 2e308.
beyond="は倍精度浮動小数点数の範囲を超えています）。"
crlf "obj suf w {" "prim poly (" "-1.7e308 0 0" "1.7e308 0 0" ")" "}" >wide.suf
run render wide.suf wide.png --view perspective
expect "render: eye beyond doubles" 1 \
    stderr "plivra-cli: 表示を合わせられません（視点の X 座標 2.26666666666667E+308 $beyond"
check_true "render: no picture when the fit fails" test ! -e wide.png
crlf "obj suf f {" "prim poly (" "1e308 0 0" "1e308 1 0" "1e308 0 1" ")" "}" >far.suf
run frames triangle.suf far.suf 200 200 1 'farframe_{}' --png-only
expect "frames: centre beyond doubles" 1 stderr "plivra-cli: 表示を合わせられません（中心の X 座標 2E+308 $beyond"
check_true "frames: nothing written when the fit fails" test -z "$(ls farframe_* 2>/dev/null)"

# ---- blend options -----------------------------------------------------------

# Object b's shade polygon turns its normals from +Z to +X: halfway they are
# (0.5 0 0.5), renormalised (sqrt(1/2) 0 sqrt(1/2)).
run morph start.suf target.suf 50 renormalized.suf --normals renormalize
expect "morph --normals renormalize" 0
check_true "renormalised normals have unit length" grep -qF $'    1 0 0  0.707106781186548 0 0.707106781186548\r' renormalized.suf
check_true "positions blend as before" grep -qF $'    1 2 -3\r' renormalized.suf
run morph start.suf target.suf 50 lerp.suf --normals lerp
same "--normals lerp is the plain blend" lerp.suf half.suf
crlf "obj suf n {" "prim shade (" "0 0 0  0 0 1" "1 0 0  0 0 1" "0 1 0  0 0.6 0.8" ")" "}" >up.suf
crlf "obj suf n {" "prim shade (" "0 0 0  0 0 -1" "1 0 0  0 0 -1" "0 1 0  0 0.6 0.8" ")" "}" >down.suf
run morph up.suf down.suf 50 flat.suf --normals renormalize
expect "normals that cancel are counted" 0 \
    stderr "flat.suf: warning: 2 blended normals have (near) zero length and were left as they are"
check_true "normals that cancel are left as blended" grep -qF $'    1 0 0  0 0 0\r' flat.suf
check_true "other normals of that polygon are scaled" grep -qF $'    0 1 0  0 0.6 0.8\r' flat.suf
run frames up.suf down.suf 0 100 50 'flat_{}.suf' --normals renormalize
expect "frames warn per frame" 0 stderr "flat_050.suf: warning: 2 blended normals"
check_true "frames warn only where normals cancel" test "$(grep -c warning stderr)" = 1

crlf "obj suf u {" "prim uvshade (" "0 0 0  0 0 1  0 0" "2 0 0  0 0 1  1 0" "0 2 0  0 0 1  0 1" ")" "}" >uv_start.suf
crlf "obj suf u {" "prim uvshade (" "4 0 0  1 0 0  1 1" "6 0 0  1 0 0  0 1" "4 2 0  1 0 0  1 0" ")" "}" >uv_target.suf
run morph uv_start.suf uv_target.suf 50 pos_only.suf --blend pos
expect "morph --blend pos" 0
check_true "--blend pos keeps the start's normals and texture coordinates" test \
    "$(tr -d '\r' <pos_only.suf | sed -n '3,5p' | tr '\n' '|')" = "    2 0 0  0 0 1  0 0|    4 0 0  0 0 1  1 0|    2 2 0  0 0 1  0 1|"
run morph uv_start.suf uv_target.suf 50 no_pos.suf --blend uv,normal --normals renormalize
check_true "--blend uv,normal keeps the start's positions" test \
    "$(tr -d '\r' <no_pos.suf | sed -n '3,5p' | tr '\n' '|')" = \
    "    0 0 0  0.707106781186548 0 0.707106781186548  0.5 0.5|    2 0 0  0.707106781186548 0 0.707106781186548  0.5 0.5|    0 2 0  0.707106781186548 0 0.707106781186548  0.5 0.5|"
run morph uv_start.suf uv_target.suf 50 all.suf --blend pos,normal,uv
run morph uv_start.suf uv_target.suf 50 default.suf
same "--blend of all three is the default" all.suf default.suf
rm -f out.suf
for list in "" "pos," "position" "pos,,uv" ",pos"; do
    run morph start.suf target.suf 50 out.suf --blend "$list"
    expect "--blend '$list' is refused" 2 stderr "--blend takes a list of pos, normal and uv"
done
run frames start.suf target.suf 0 100 50 'f{}.suf' --normals unit
expect "--normals of another name is refused" 2 stderr "--normals must be lerp or renormalize, not 'unit'"
check_true "refused blends write nothing" test -z "$(ls out.suf f[0-9]*.suf 2>/dev/null)"

# ---- frames as pictures ------------------------------------------------------

# A triangle that doubles in size and moves: fitted to all frames together,
# the small one takes half the room of the large one.
crlf "obj suf t {" "prim poly (" "0 0 0" "10 0 0" "0 10 0" ")" "}" >small.suf
crlf "obj suf t {" "prim poly (" "10 0 0" "30 0 0" "10 20 0" ")" "}" >large.suf
run frames small.suf large.suf 0 100 50 'tri_{}.suf' --png --size 120x80
expect "frames --png" 0 stdout "tri_000.suf" stdout "tri_000.png" stdout "tri_050.png" stdout "tri_100.png"
same "frames --png still writes the shape files" tri_050.suf "$(run morph small.suf large.suf 50 m50.suf; echo m50.suf)"
for f in tri_000.png tri_050.png tri_100.png; do
    facts=$(png_pixels "$f" "!$grey" | tr '\n' ' ')
    read -r w h left top right bottom <<<"$facts"
    check_true "$f: 120x80 with the shape inside, off the edges ($facts)" \
        test "$w $h" = "120 80" -a "$left" -gt 0 -a "$top" -gt 0 -a "$right" -lt 119 -a "$bottom" -lt 79
done
read -r _ _ l0 t0 r0 b0 <<<"$(png_pixels tri_000.png "!$grey" | tr '\n' ' ')"
read -r _ _ l1 t1 r1 b1 <<<"$(png_pixels tri_100.png "!$grey" | tr '\n' ' ')"
check_true "frames share one scale: 0% is half as tall as 100% ($t0..$b0, $t1..$b1)" \
    test $(((b1 - t1) - 2 * (b0 - t0))) -ge -2 -a $(((b1 - t1) - 2 * (b0 - t0))) -le 2
check_true "frames share one centre: 0% lies left of 100%" test "$l0" -lt "$l1" -a "$r0" -lt "$r1"

for view in xy yz zx perspective; do
    run frames "$ex/box.suf" "$ex/rounded_box.suf" -50 150 100 "box_${view}_{}.suf" --png-only --view "$view" --size 90x60
    expect "frames --png-only --view $view" 0 stdout "box_${view}_-50.png" stdout "box_${view}_150.png"
    for f in box_${view}_-50.png box_${view}_050.png box_${view}_150.png; do
        facts=$(png_pixels "$f" "!$grey" | tr '\n' ' ')
        read -r w h left top right bottom <<<"$facts"
        check_true "$f: 90x60 with the shape inside ($facts)" \
            test "$w $h" = "90 60" -a "$left" -gt 0 -a "$top" -gt 0 -a "$right" -lt 89 -a "$bottom" -lt 59
    done
done
# Nothing nearer than the near plane, one unit from the eye, is drawn.
crlf "obj suf t {" "prim poly (" "0 0 0" "0.01 0 0" "0 0.01 0.01" ")" "}" >tiny.suf
run frames tiny.suf tiny.suf 0 0 1 'tiny_{}.suf' --png-only --view perspective --size 100x100
check_true "a small shape stays in sight in perspective" test "$(png_pixels tiny_000.png "!$grey" | tail -n 1)" != none
check_true "--png-only writes no shape files" test -z "$(ls box_*.suf 2>/dev/null)"
check_true "--png-only prints only pictures" test "$(grep -c '\.suf$' stdout)" = 0

run frames "$ex/box.suf" "$ex/rounded_box.suf" 0 100 25 'sheet_{}.suf' --sheet sheet.png --size 100x80 --view zx
expect "frames --sheet" 0 stdout "sheet_100.suf" stdout "sheet.png"
check_true "--sheet alone writes no frame pictures" test ! -e sheet_000.png
# Five 100x80 frames in 3 columns and 2 rows, 3 pixels apart, each above a
# 13-pixel strip with its label: 7 pixels high, 6 per character, centred.
dark=303030 white=ffffff
check_true "sheet size" test "$(png_pixels sheet.png | tr '\n' ' ')" = "312 189 "
check_true "sheet: frame 1 in place, the ground around it" test \
    "$(png_pixels sheet.png 3,3 102,82 2,3 103,3 3,2 | tr '\n' ' ')" = "312 189 $grey $grey $dark $dark $dark "
check_true "sheet: label 0% centred under frame 1" test "$(png_pixels sheet.png "=$white@0,83,105,99" | tail -n 1)" = "47 86 57 92"
check_true "sheet: label 25% under frame 2" test "$(png_pixels sheet.png "=$white@106,83,208,99" | tail -n 1)" = "147 86 163 92"
check_true "sheet: label 100% under frame 5" test "$(png_pixels sheet.png "=$white@106,176,208,188" | tail -n 1)" = "145 179 166 185"
check_true "sheet: frame 5 is the 100% picture" test \
    "$(png_pixels sheet.png "!$grey@106,96,205,175" | tail -n 1)" != none
run frames small.suf large.suf 0 1000 1 'many_{}.suf' --sheet many.png --size 2000x2000
expect "a sheet too large is refused" 2 stderr "too large; choose a smaller --size"
check_true "a refused sheet writes no frame" test ! -e many_000.suf
run frames small.suf large.suf 0 100 50 'v_{}.suf' --view yz
expect "--view without pictures" 2 stderr "--view and --size need --png, --png-only or --sheet"
run frames small.suf large.suf 0 100 50 'v_{}.suf' --png --view iso
expect "frames unknown view" 2 stderr "unknown view 'iso'"
run frames small.suf large.suf 0 100 50 'v_{}.suf' --png --size 0x10
expect "frames bad size" 2 stderr "bad size '0x10'"
run frames small.suf large.suf 0 100 50 'v_{}.suf' --png-only --sheet no_such_folder/s.png
expect "a sheet that cannot be written" 1 stderr "no_such_folder/s.png: "

# ---- output files --------------------------------------------------------------

# "-" is standard output and gives the bytes a file gets; a sheet there is
# alone, without the list of file names.
run morph start.suf target.suf 50 half_out.suf
"$cli" morph start.suf target.suf 50 - >dash.suf
same "morph to -" dash.suf half_out.suf
"$cli" morph start.suf target.suf 50 /dev/stdout | cat >piped.suf
same "morph to /dev/stdout through a pipe" piped.suf half_out.suf
"$cli" render triangle.suf - --size 101x101 >dash.png
same "render to -" dash.png triangle_plain.png
run frames small.suf large.suf 0 100 50 'sf_{}.suf' --png-only --sheet sheet_file.png
"$cli" frames small.suf large.suf 0 100 50 'sd_{}.suf' --png-only --sheet - >sheet_dash.png
same "frames --sheet -" sheet_dash.png sheet_file.png
"$cli" morph start.suf target.suf 50 - >/dev/full 2>"$tmp/stderr"
code=$?
expect "morph to - on a full disk" 1 \
    stderr "-: ファイル「/dev/stdout」に保存できません（ディスクの空き容量が足りません）。"

# A FIFO is written into, never replaced.
mkfifo fifo.suf
timeout 60 cat fifo.suf >from_fifo.suf &
run morph start.suf target.suf 50 fifo.suf
wait
expect "morph into a FIFO" 0
same "the FIFO's reader gets the file" from_fifo.suf half_out.suf
check_true "the FIFO stays a FIFO" test -p fifo.suf

# A PNG that cannot be written whole (a size limit fails the write as a
# full disk does) leaves what stood at its path, even the input itself.
cp triangle.suf keep.suf
(trap '' XFSZ; ulimit -f 1; exec "$cli" render keep.suf keep.suf --size 2000x2000) >"$tmp/stdout" 2>"$tmp/stderr"
code=$?
expect "a PNG that cannot be written" 1 stderr "keep.suf: ファイル「keep.suf」に保存できません（ファイルが大きすぎます）。"
same "a failed PNG keeps the file at its path" keep.suf triangle.suf
check_true "a failed PNG leaves no temporary file" test -z "$(find . -name '.plivra-save-*')"

# Help that cannot be written is no success.
for args in --help "morph --help" "frames --help" "check --help" "info --help" "render --help"; do
    # shellcheck disable=SC2086
    "$cli" $args >/dev/full 2>"$tmp/stderr"
    code=$?
    expect "$args on a full disk" 1 stderr "cannot write to standard output"
done

# ---- progress ------------------------------------------------------------------

run frames small.suf large.suf 0 100 10 'p_{}.suf'
expect "frames without a terminal" 0
check_true "no progress when stderr is not a terminal" test ! -s stderr
if command -v script >/dev/null; then
    # script gives the command a terminal; its output holds both streams.
    script -qec "'$cli' frames small.suf large.suf 0 100 50 'p_{}.suf'" /dev/null >tty.txt 2>&1
    check_true "progress on a terminal" grep -q "frame 3 of 3, about .* s left" tty.txt
    script -qec "'$cli' frames small.suf large.suf 0 100 50 'p_{}.suf' --quiet" /dev/null >tty_quiet.txt 2>&1
    check_true "--quiet silences progress" test "$(grep -c 'frame ' tty_quiet.txt)" = 0
    check_true "--quiet keeps the file names" grep -q "p_050.suf" tty_quiet.txt
fi

# frames reuses one copy of the start: items the target lacks keep the
# start's values in every frame.
run frames short_vertex.suf target.suf 100 0 -100 'part_{}.suf'
same "frames past a shorter polygon equal morph" part_100.suf partial.suf

# ---- mix ----------------------------------------------------------------------

for p in 0 37 100 -250; do
    run morph "$ex/box.suf" "$ex/rounded_box.suf" $p "morph_$p.suf"
    run mix "$ex/box.suf" "mix_$p.suf" --target "$ex/rounded_box.suf" $p
    expect "mix of one target at $p" 0
    same "mix of one target at $p writes what morph writes" "mix_$p.suf" "morph_$p.suf"
done
# Two halves of one target make the whole of it.
run mix "$ex/box.suf" mix_halves.suf --target "$ex/rounded_box.suf" 50 --target "$ex/rounded_box.suf" 50
run info mix_halves.suf --json
cp stdout halves.json
run info "$ex/rounded_box.suf" --json
check_true "two halves reach the target's extents" test "$(grep -v '"file"' halves.json)" = "$(grep -v '"file"' stdout)"
run mix "$ex/box.suf" mix_bad.suf --target "$ex/rounded_box.suf" 5x
expect "mix refuses a bad percentage" 2 stderr "PERCENT must be a number, not '5x'"
run mix "$ex/box.suf" mix_bad.suf
expect "mix needs a target" 2 stderr "needs at least one --target"
check_true "refused mix writes nothing" test ! -e mix_bad.suf

# ---- other formats ------------------------------------------------------------

printf 'o quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0.1\nf 1 2 3 4\n' >quad.obj
printf 'o quad\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1.1\nf 1 2 3 4\n' >quad_up.obj
run import quad.obj quad.suf
expect "import an OBJ file" 0
run morph quad.obj quad_up.obj 50 quad_half.suf
expect "morph reads OBJ files" 0
run check quad.obj quad_up.obj
expect "two OBJ files of one topology correspond" 0
run export quad.suf quad_up.obj quad.glb --from -50 --to 150 --seconds 4
expect "export a morph to glTF" 0
run import quad.glb quad_back.suf
expect "a glTF file reads back" 0
run info quad_back.suf
expect "fanned into two triangles" 0 stdout "2 polygons, 6 vertices"
run export quad.suf quad_up.suf quad.obj
expect "an OBJ file holds one shape" 2 stderr "an OBJ file holds one shape and no animation"
run export quad.suf quad.stl
expect "export refuses other formats" 2 stderr "OUT must end in .glb, .gltf or .obj"
printf 'v 0 0 0\nv 1 x 0\nf 1 2 1\n' >bad.obj
run import bad.obj bad.suf
expect "a bad OBJ file" 1 stderr "bad.obj: line 2: 'x' is not a number"
check_true "a bad OBJ file is one line" test "$(wc -l <stderr)" -eq 1
check_true "a refused import writes nothing" test ! -e bad.suf
printf '{"asset":{"version":"2.0"},"meshes":[{"primitives":[{"attributes":{"POSITION":7}}]}]}' >bad.gltf
run export bad.gltf bad.glb
expect "a bad glTF file" 1 stderr "bad.gltf: a primitive refers to accessor 7, which is not there"
check_true "a refused export writes nothing" test ! -e bad.glb

# ---- a large pair ----------------------------------------------------------------

# Large enough to be read on two threads and blended and written in pieces on
# every core: the bytes are those the program wrote when it did all on one.
python3 "$src/scripts/gen_pair.py" 40000 big_start.suf big_target.suf 3
run morph big_start.suf big_target.suf 37 big_37.suf
expect "morph a large pair" 0
check_true "a large morph writes the bytes of one thread" \
    test "$(sha256sum <big_37.suf | cut -c1-64)" = 7e95f31e5d4072a477ef905929c42b3481eecda927df066193f302a163d0f24b
run check big_start.suf big_target.suf
expect "check a large pair" 0 stdout "40000 polygons, 120000 vertices" stdout "the shapes correspond"
# Both files read at once, the failures still come as reading one after the
# other gives them: START's alone when both fail.
{ cat big_start.suf; printf 'prim poly (\r\n1 2 x\r\n'; } >bad_start.suf
{ cat big_target.suf; printf 'prim poly (\r\n1 2 y\r\n'; } >bad_target.suf
for command in morph check; do
    args=(); [ "$command" = morph ] && args=(50 bad_out.suf)
    run "$command" bad_start.suf bad_target.suf "${args[@]}"
    expect "$command with both large files bad" 1 stderr "bad_start.suf: 'x' は浮動小数点数ではありません"
    check_true "$command names START's failure alone" test "$(grep -c . "$tmp/stderr")" = 1
    run "$command" big_start.suf bad_target.suf "${args[@]}"
    expect "$command with a bad large target" 1 stderr "bad_target.suf: 'y' は浮動小数点数ではありません"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

# shellcheck shell=bash
# Shared by the end-to-end tests of plivra-cli, one file per command; each is
# run as: bash tests/cli/NAME.sh PLIVRA_CLI SOURCE_DIR
# Sourcing this file moves into a fresh temporary folder holding the small
# shapes below; the checks count passes and failures, and finish reports them.
set -u

if [ $# -lt 2 ]; then
    echo "usage: bash $0 PLIVRA_CLI SOURCE_DIR" >&2
    exit 2
fi
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

# expect_lines NAME STATUS STREAM LINE...: the last run exited with STATUS and
# the stream holds the LINEs, whole and one after another, in this order.
expect_lines() {
    local name=$1 status=$2 stream=$3
    shift 3
    if [ "$code" != "$status" ]; then
        fail "$name (exit $code, wanted $status)"
        return
    fi
    local -a have want=("$@")
    mapfile -t have <"$tmp/$stream"
    local i j
    for ((i = 0; i + $# <= ${#have[@]}; i++)); do
        for ((j = 0; j < $#; j++)); do
            [[ "${have[i + j]}" == "${want[j]}" ]] || continue 2
        done
        pass
        return
    done
    fail "$name ($stream lacks these lines in this order)"
    printf '  | %s\n' "$@"
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

# The background of every picture.
grey=808080

# finish: reports the count and fails if any check did.
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}

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

# A right triangle 20 wide and 10 high.
crlf "obj suf t {" "prim poly (" "0 0 0" "20 0 0" "0 10 0" ")" "}" >triangle.suf

# A triangle that doubles in size and moves.
crlf "obj suf t {" "prim poly (" "0 0 0" "10 0 0" "0 10 0" ")" "}" >small.suf
crlf "obj suf t {" "prim poly (" "10 0 0" "30 0 0" "10 20 0" ")" "}" >large.suf

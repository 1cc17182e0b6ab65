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
expect "--help lists the commands" 0 stdout "morph" stdout "frames" stdout "check" stdout "info"
run blend a b
expect "unknown command" 2 stderr "unknown command 'blend'" stderr "usage:"
for command in morph frames check info; do
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

if [ -w /dev/full ]; then
    "$cli" info start.suf >/dev/full 2>"$tmp/stderr"
    code=$?
    expect "a report that cannot be written is a failure" 1 stderr "cannot write to standard output"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/info.sh PLIVRA_CLI SOURCE_DIR
# Reports on one shape, and the inputs that are not shapes at all.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

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

# ---- info ------------------------------------------------------------------

run info "$ex/box.suf"
expect_lines "info box" 0 stdout "objects: 2" \
    '  1 "body": 24 polygons, 96 vertices, X -1 .. 1, Y -1 .. 1, Z -1 .. 1' \
    '  2 "plinth": 8 polygons, 24 vertices, X -1.4 .. 1.4, Y -1.4 .. 1.4, Z -1.3 .. -1.3' \
    "polygons: 32 (poly 12, shade 16, uvpoly 4, uvshade 0)" "vertices: 120" \
    "attributes: label, base, paint, stone"
run info start.suf
expect_lines "info small shape" 0 stdout \
    '  1 "a": 1 polygons, 3 vertices, X 0 .. 2, Y 0 .. 4, Z -6 .. 1' \
    '  2 "b": 2 polygons, 6 vertices, X 0 .. 1, Y 0 .. 1, Z 0 .. 1' \
    "polygons: 3 (poly 2, shade 1, uvpoly 0, uvshade 0)" "vertices: 9" \
    "attributes: red, blue" "extents: X 0 .. 2, Y 0 .. 4, Z -6 .. 1"
run info forms.suf
expect_lines "info prints a Shift-JIS name decoded" 0 stdout \
    '  1 "テスト": 1 polygons, 3 vertices, X 0 .. 1, Y 0 .. 2.5, Z 0 .. 3' \
    "polygons: 1 (poly 1, shade 0, uvpoly 0, uvshade 0)" "vertices: 3" "attributes: none"
# Bytes that are neither UTF-8 nor Shift-JIS: one character per byte. The
# attribute is Shift-JIS.
printf 'obj suf caf\xe9 {\r\natr \x83\x58\x83\x55\x83\x93\x83\x6b\r\nprim poly (\r\n0 0 0\r\n)\r\n}\r\n' >latin.suf
run info latin.suf
expect_lines "info prints other bytes one character each" 0 stdout \
    '  1 "café": 1 polygons, 1 vertices, X 0 .. 0, Y 0 .. 0, Z 0 .. 0' \
    "polygons: 1 (poly 1, shade 0, uvpoly 0, uvshade 0)" "vertices: 1" "attributes: スザンヌ"
run info latin.suf --json
json_ok "info JSON decodes Shift-JIS and gives other bytes one code point each" \
    '[o["name"] for o in d["objects"]] == ["caf\u00e9"] and d["attributes"] == ["\u30b9\u30b6\u30f3\u30cc"]'

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

finish

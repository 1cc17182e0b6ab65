#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/check.sh PLIVRA_CLI SOURCE_DIR
# Whether two shapes correspond, as text and as JSON.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

run check "$ex/box.suf" "$ex/rounded_box.suf"
expect "check examples box" 0 stdout "2 objects, 32 polygons, 120 vertices" stdout "the shapes correspond"
expect_lines "check names the start, then the target" 0 stdout \
    "start  $ex/box.suf: 2 objects, 32 polygons, 120 vertices" \
    "target $ex/rounded_box.suf: 2 objects, 32 polygons, 120 vertices"
run check "$ex/grid.suf" "$ex/wave.suf"
expect "check examples grid" 0 stdout "the shapes correspond"
run check short_vertex.suf target.suf
expect_lines "check finds a vertex mismatch" 1 stdout \
    "start  short_vertex.suf: 2 objects, 3 polygons, 8 vertices" \
    "target target.suf: 2 objects, 3 polygons, 9 vertices" \
    'first mismatch: object 1 ("a" / "a"), polygon 1: start has 2 vertices, target 3 (vertex 3 has no partner)' \
    "pairs of polygons that differ: 1 in vertex count, 0 in kind" \
    '  object 1 ("a" / "a"), polygon 1: poly with 2 vertices / poly with 3 vertices' \
    "shared corners: not compared, since not every vertex has a partner"
run check start.suf short_polygon.suf
expect_lines "check finds a polygon mismatch" 1 stdout \
    "target short_polygon.suf: 2 objects, 2 polygons, 6 vertices" \
    'first mismatch: object 2 ("b" / "b"): start has 2 polygons, target 1 (polygon 2 has no partner)' \
    "shared corners: not compared, since not every vertex has a partner"
run check extra_object.suf start.suf
expect_lines "check finds an extra object" 1 stdout \
    'first mismatch: object 3 ("c") of the start has no partner in the target' \
    "shared corners: not compared, since not every vertex has a partner"
run check start.suf extra_object.suf
expect_lines "check finds an extra target object" 1 stdout \
    'first mismatch: object 3 ("c") of the target has no partner in the start' \
    "shared corners: not compared, since not every vertex has a partner"
run check "$ex/box.suf" "$ex/wave.suf"
expect_lines "check examples box against wave" 1 stdout \
    'first mismatch: object 1 ("body" / "sheet"): start has 24 polygons, target 36 (polygon 25 has no partner)' \
    "pairs of polygons that differ: 6 in vertex count, 26 in kind" \
    '  object 1 ("body" / "sheet"), polygon 5: poly with 4 vertices / uvpoly with 4 vertices'

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
expect_lines "check finds corners broken by a reordered polygon" 3 stdout \
    "shared corners: 3 in the start, 1 in the target; 3 of the start's come apart in the target, 1 of the target's are apart in the start" \
    '  the start shares (0 0 0) between object 1 ("a" / "a"), polygon 1, vertex 1 and object 2 ("b" / "b"), polygon 2, vertex 1; the target has them at (2 4 -6) and (0 0 0)' \
    '  the start shares (1 0 0) between object 2 ("b" / "b"), polygon 1, vertex 1 and object 2 ("b" / "b"), polygon 2, vertex 2; the target has them at (3 0 0) and (1 0 0)' \
    '  the start shares (0 1 0) between object 2 ("b" / "b"), polygon 1, vertex 2 and object 2 ("b" / "b"), polygon 2, vertex 3; the target has them at (0 3 0) and (0 1 0)' \
    '  the target shares (0 0 0) between object 1 ("a" / "a"), polygon 1, vertex 2 and object 2 ("b" / "b"), polygon 2, vertex 1; the start has them at (2 4 -6) and (0 0 0)' \
    "displacement of paired polygons: median 2; 0 move more than 10 times that (a hint only)" \
    "the counts correspond but the corners do not: the polygons or vertices are probably in another order; plivra-cli reorder START TARGET OUT can repair the order"
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
expect_lines "check lists the broken corners under their count" 3 stdout \
    "shared corners: 35 in the start, 35 in the target; 9 of the start's come apart in the target, 9 of the target's are apart in the start" \
    '  the start shares (-1 0 1) between object 1 ("body" / "body"), polygon 1, vertex 4 and object 1 ("body" / "body"), polygon 2, vertex 1; the target has them at (-0.925 0.925 0.925) and (-0.925 -0.925 0.925)'

crlf "obj suf k {" "prim poly (" "0 0 0" "1 0 0" "0 1 0" ")" "prim poly (" "0 0 0" "1 0 0" "0 1 0" ")" "}" >kind_poly.suf
crlf "obj suf k {" "prim poly (" "0 0 0" "1 0 0" "0 1 0" ")" "prim shade (" "0 0 0 0 0 1" "1 0 0 0 0 1" "0 1 0 0 0 1" ")" "}" >kind_shade.suf
run check kind_poly.suf kind_shade.suf
expect_lines "check finds polygons of another kind" 1 stdout \
    "pairs of polygons that differ: 0 in vertex count, 1 in kind" \
    '  object 1 ("k" / "k"), polygon 2: poly with 3 vertices / shade with 3 vertices' \
    "shared corners: 3 in the start, 3 in the target; none breaks" \
    "displacement of paired polygons: median 0; no outliers sought" \
    "the shapes do not correspond"
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
# A name that is not UTF-8 still gives valid JSON: Shift-JIS decoded.
printf 'obj suf \x83\x65\x83\x58\x83\x67 {\r\nprim poly (\r\n0 0 0\r\n1 0 0\r\n)\r\n}\r\n' >forms_short.suf
run check forms.suf forms_short.suf --json
expect "check --json with a Shift-JIS name" 1
json_ok "JSON decodes a Shift-JIS name" \
    'd["first_mismatch"]["start_name"] == "\u30c6\u30b9\u30c8" == d["first_mismatch"]["target_name"]'
run check forms.suf forms_short.suf
expect "check prints a Shift-JIS name decoded" 1 stdout \
    'first mismatch: object 1 ("テスト" / "テスト"), polygon 1: start has 3 vertices, target 2'
run check empty.suf start.suf
expect "check with an empty start" 1 stderr "empty.suf: holds no shape"

finish

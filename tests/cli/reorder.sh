#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/reorder.sh PLIVRA_CLI SOURCE_DIR
# Repairing the order of a target: the file written, the report, refusals.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

python3 "$src/scripts/scramble_suf.py" "$ex/rounded_box.suf" scrambled.suf --mirror
run check "$ex/box.suf" scrambled.suf
expect "a scrambled target does not correspond" 1 stdout "the shapes do not correspond"

run reorder "$ex/box.suf" scrambled.suf fixed.suf
expect_lines "reorder reports the pairing" 0 stderr \
    "start  $ex/box.suf: 2 objects, 32 polygons, 120 vertices" \
    "target scrambled.suf: 2 objects, 32 polygons, 120 vertices" \
    "objects paired: 2"
expect "reorder names mirrored objects and the written file" 0 \
    stderr "mirrored: every polygon's winding is reversed" stderr "wrote fixed.suf: the target in the order of the start"
same "reorder gives back the target's order" fixed.suf "$ex/rounded_box.suf"
run check "$ex/box.suf" fixed.suf
expect "the reordered target corresponds" 0 stdout "the shapes correspond"

run reorder "$ex/box.suf" scrambled.suf - --timings
expect "reorder to standard output, with timings" 0 stderr "structure " stderr "match " stderr "save "
same "reorder - writes the file's bytes" "$tmp/stdout" "$ex/rounded_box.suf"

run reorder "$ex/box.suf" scrambled.suf fixed.obj
expect "reorder into an OBJ file" 0 stderr "wrote fixed.obj"
run export "$ex/rounded_box.suf" expected.obj
same "reorder exports the target in order as OBJ" fixed.obj expected.obj

run reorder "$ex/box.suf" scrambled.suf fixed.suf --json
expect "reorder --json" 0
json_ok "JSON of a reorder" \
    'd["status"] == 0 and d["found"] and d["failure"] is None and d["written"] == "fixed.suf"
     and [o["target"] for o in d["objects"]] == [2, 1] and d["objects"][1]["mirrored"] is False
     and d["objects"][0]["mirrored"] and d["reversed"] == 24 and not d["unique"]'

run reorder "$ex/box.suf" scrambled.suf - --json
expect "reorder --json cannot share standard output with OUT -" 2 stderr "standard output"
run reorder "$ex/box.suf" scrambled.suf scrambled.suf
expect "reorder refuses to replace its target" 1 stderr "scrambled.suf: is also an input of this command; nothing was written"

# A cube allows 48 orders: --strict refuses the choice and writes nothing.
cube() {
    crlf "obj suf cube {"
    local face
    for face in "0 0 0|0 1 0|1 1 0|1 0 0" "0 0 1|1 0 1|1 1 1|0 1 1" "0 0 0|1 0 0|1 0 1|0 0 1" \
        "0 1 0|0 1 1|1 1 1|1 1 0" "0 0 0|0 0 1|0 1 1|0 1 0" "1 0 0|1 1 0|1 1 1|1 0 1"; do
        crlf "prim poly (" "    ${face//|/$'\r\n'    }" ")"
    done
    crlf "}"
}
cube >cube.suf
sed 's/^    1 1 1\r$/    1.5 1.25 1.125\r/' cube.suf >cube_moved.suf
echo kept >strict.suf
run reorder cube.suf cube_moved.suf strict.suf --strict
expect "--strict refuses an ambiguous match" 3 \
    stderr "the match is ambiguous: 1 choice between" stderr "48 candidates compared" \
    stderr "the match is ambiguous and --strict refuses it: nothing was written"
check_true "--strict leaves OUT as it was" grep -qx kept strict.suf
run reorder cube.suf cube_moved.suf cube_fixed.suf
expect "without --strict the least movement decides" 0 stderr "the runner-up moves the vertices"
same "the cube keeps its order" cube_fixed.suf cube_moved.suf

# Two triangles that share no corner: no structure to go by.
crlf "obj suf soup {" "prim poly (" "0 0 0" "1 0 0" "0 1 0" ")" "prim poly (" "5 0 0" "6 0 0" "5 1 0" ")" "}" >soup.suf
run reorder soup.suf soup.suf soup_out.suf
expect_lines "reorder refuses a polygon soup" 1 stderr \
    'soup.suf: object 1 ("soup" / "soup"), polygon 1: shares no corner with another polygon, and several of the target are alike; the order cannot be found from structure (a polygon soup)'
check_true "nothing is written on a refusal" test ! -e soup_out.suf
run reorder "$ex/box.suf" "$ex/wave.suf" out.suf --json
expect "reorder --json of shapes that cannot pair" 1
json_ok "JSON of a refusal" \
    'd["status"] == 1 and not d["found"] and d["failure"]["reason"] == "polygon_count" and d["written"] is None'
run reorder "$ex/box.suf" "$ex/wave.suf" out.suf
expect_lines "reorder names differing counts" 1 stderr \
    "$ex/wave.suf: the start has 32 polygons, the target 42: no order pairs them"

run check "$ex/box.suf" "$ex/rounded_box_reordered.suf"
expect "check points to reorder" 3 stdout "plivra-cli reorder START TARGET OUT can repair the order"
run reorder "$ex/box.suf" "$ex/rounded_box_reordered.suf" repaired.suf
expect "reorder repairs the example" 0
same "the repaired example is the rounded box" repaired.suf "$ex/rounded_box.suf"

finish

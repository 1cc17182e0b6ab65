#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/morph.sh PLIVRA_CLI SOURCE_DIR
# One blend written as a shape file, and the options of the blend.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

run morph start.suf missing.suf 50 out.suf
expect "morph with a missing target" 1 stderr "missing.suf: "
check_true "failed morph writes nothing" test ! -e out.suf

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

finish

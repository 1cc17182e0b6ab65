#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/render.sh PLIVRA_CLI SOURCE_DIR
# One shape drawn as a PNG picture.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# triangle.suf:
# 0,10          one pixel is 0.2 units on 101x101: corners at columns 0
#  |   \        and 100, rows 25 and 75. Grid: column 0 solid, 50 and 100
# 0,0 --- 20,0  dotted; its only row, 75, lies under the bottom edge.
run render triangle.suf triangle.png --size 101x101 --grid
expect "render triangle" 0
blue=0000ff cyan=00ffff
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

finish

#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/frames.sh PLIVRA_CLI SOURCE_DIR
# Series of blends as shape files, pictures and contact sheets.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The blends morph writes, to compare frames with.
"$cli" morph start.suf target.suf 50 half.suf
"$cli" morph start.suf target.suf -50 before.suf
"$cli" morph short_vertex.suf target.suf 100 partial.suf

run frames start.suf target.suf 0 100 50 'f_{}.suf'
expect_lines "frames 0..100 by 50" 0 stdout "f_000.suf" "f_050.suf" "f_100.suf"
same "frame 050 is the blend at 50" f_050.suf half.suf
run frames start.suf target.suf -50 150 100 'g_{}.suf'
expect_lines "frames -50..150 by 100" 0 stdout "g_-50.suf" "g_050.suf" "g_150.suf"
same "frame -50 is the blend at -50" g_-50.suf before.suf
run frames start.suf target.suf 5 5 1 'h_{}.suf'
expect_lines "frames of one percentage" 0 stdout "h_005.suf"
run frames start.suf target.suf 100 0 -50 'k_{}.suf'
expect "frames going down" 0
check_true "frames going down in order" test "$(cat stdout | tr '\n' ' ')" = "k_100.suf k_050.suf k_000.suf "
run frames start.suf target.suf 0 10 5 'no_such_folder/{}.suf' --jobs 3
expect "frames into a missing folder" 1 stderr "no_such_folder/000.suf: "
# Every job fails at once; only the first frame's failure is told, whole.
check_true "frames into a missing folder: one line" test "$(wc -l < stderr)" = 1

# ---- frames as pictures ------------------------------------------------------

# A triangle that doubles in size and moves: fitted to all frames together,
# the small one takes half the room of the large one.
run frames small.suf large.suf 0 100 50 'tri_{}.suf' --png --size 120x80
expect_lines "frames --png" 0 stdout "tri_000.suf" "tri_000.png" "tri_050.suf" "tri_050.png" "tri_100.suf" "tri_100.png"
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
    expect_lines "frames --png-only --view $view" 0 stdout "box_${view}_-50.png" "box_${view}_050.png" "box_${view}_150.png"
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
expect_lines "frames --sheet" 0 stdout "sheet_000.suf" "sheet_025.suf" "sheet_050.suf" "sheet_075.suf" \
    "sheet_100.suf" "sheet.png"
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

# ---- frames on several cores and machines ------------------------------------

# 31 frames with pictures, made by one job, by three, and as three shards
# that GNU parallel runs at once: the same files, and the jobs list them in
# the same order. The pictures share the fit of all frames, shards too.
frames_args=("$ex/box.suf" "$ex/rounded_box.suf" -20 130 5 'j_{}.suf' --png --size 64x48 --view perspective)
mkdir one three shards
(cd one && "$cli" frames "${frames_args[@]}" --jobs 1 >list 2>errors)
(cd three && "$cli" frames "${frames_args[@]}" --jobs 3 >list 2>errors)
check_true "frames --jobs 3 writes and lists what --jobs 1 does" diff -r one three
check_true "frames wrote 31 shapes and pictures" test "$(ls one/j_*.suf one/j_*.png | wc -l)" = 62
check_true "GNU parallel is installed (scripts/setup.sh)" command -v parallel
# -I @@: the frames' own "{}" must reach plivra-cli as it is.
(cd shards && parallel --will-cite -q -I @@ "$cli" frames "${frames_args[@]}" --shard @@/3 ::: 1 2 3 >list)
check_true "three shards list every frame once" test "$(sort shards/list)" = "$(sort one/list)"
check_true "three shards write the files of one run" diff -r -x list -x errors one shards
for refused in "--shard 0/3" "--shard 4/3" "--shard 1" "--jobs 0" "--shard 1/2 --png --sheet s.png"; do
    # shellcheck disable=SC2086
    run frames small.suf large.suf 0 100 50 'r_{}.suf' $refused
    expect "frames $refused is refused" 2 stderr "usage: plivra-cli frames"
done
check_true "refused jobs and shards write nothing" test -z "$(ls r_* 2>/dev/null)"

# frames reuses one copy of the start: items the target lacks keep the
# start's values in every frame.
run frames short_vertex.suf target.suf 100 0 -100 'part_{}.suf'
same "frames past a shorter polygon equal morph" part_100.suf partial.suf

finish

#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/large.sh PLIVRA_CLI SOURCE_DIR
# A pair large enough for every core: the same bytes as one thread writes.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

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

finish

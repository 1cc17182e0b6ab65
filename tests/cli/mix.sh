#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/mix.sh PLIVRA_CLI SOURCE_DIR
# A blend toward several targets at once.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

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

finish

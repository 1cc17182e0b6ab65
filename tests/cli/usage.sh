#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/usage.sh PLIVRA_CLI SOURCE_DIR
# The command line itself: help, version, refused commands and arguments.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

run
expect "no command is a usage error" 2 stderr "usage: plivra-cli COMMAND"
run --help
expect "--help lists the commands" 0 stdout "morph" stdout "frames" stdout "check" stdout "info" \
    stdout "render"
run --version
expect "--version names the program" 0 stdout "plivra-cli "
[ "$(wc -l <"$tmp/stdout")" -eq 1 ] && pass || fail "--version prints one line"
run blend a b
expect "unknown command" 2 stderr "unknown command 'blend'" stderr "usage:"
for command in morph frames check info render; do
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

finish

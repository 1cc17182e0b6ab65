#!/usr/bin/env bash
# End-to-end tests of plivra-cli: bash tests/cli/output.sh PLIVRA_CLI SOURCE_DIR
# Where the commands write: standard output, full disks, FIFOs, size limits.
# shellcheck source=lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# "-" is standard output and gives the bytes a file gets; a sheet there is
# alone, without the list of file names.
run morph start.suf target.suf 50 half_out.suf
"$cli" morph start.suf target.suf 50 - >dash.suf
same "morph to -" dash.suf half_out.suf
"$cli" morph start.suf target.suf 50 /dev/stdout | cat >piped.suf
same "morph to /dev/stdout through a pipe" piped.suf half_out.suf
"$cli" render triangle.suf triangle_plain.png --size 101x101
"$cli" render triangle.suf - --size 101x101 >dash.png
same "render to -" dash.png triangle_plain.png
run frames small.suf large.suf 0 100 50 'sf_{}.suf' --png-only --sheet sheet_file.png
"$cli" frames small.suf large.suf 0 100 50 'sd_{}.suf' --png-only --sheet - >sheet_dash.png
same "frames --sheet -" sheet_dash.png sheet_file.png
"$cli" morph start.suf target.suf 50 - >/dev/full 2>"$tmp/stderr"
code=$?
expect "morph to - on a full disk" 1 \
    stderr "-: ファイル「/dev/stdout」に保存できません（ディスクの空き容量が足りません）。"

# A FIFO is written into, never replaced.
mkfifo fifo.suf
timeout 60 cat fifo.suf >from_fifo.suf &
run morph start.suf target.suf 50 fifo.suf
wait
expect "morph into a FIFO" 0
same "the FIFO's reader gets the file" from_fifo.suf half_out.suf
check_true "the FIFO stays a FIFO" test -p fifo.suf

# A PNG that cannot be written whole (a size limit fails the write as a
# full disk does) leaves what stood at its path.
cp triangle.suf keep.png
(trap '' XFSZ; ulimit -f 1; exec "$cli" render triangle.suf keep.png --size 2000x2000) >"$tmp/stdout" 2>"$tmp/stderr"
code=$?
expect "a PNG that cannot be written" 1 stderr "keep.png: ファイル「keep.png」に保存できません（ファイルが大きすぎます）。"
same "a failed PNG keeps the file at its path" keep.png triangle.suf
check_true "a failed PNG leaves no temporary file" test -z "$(find . -name '.plivra-save-*')"

# Help that cannot be written is no success.
for args in --help "morph --help" "frames --help" "check --help" "info --help" "render --help"; do
    # shellcheck disable=SC2086
    "$cli" $args >/dev/full 2>"$tmp/stderr"
    code=$?
    expect "$args on a full disk" 1 stderr "cannot write to standard output"
done

finish

#!/usr/bin/env bash
# Checks the bash completion of plivra-cli against the program itself:
#   bash tests/install/completion.sh COMPLETION_FILE PLIVRA_CLI
# Each case types a command line and compares what TAB would offer.
set -u
completion=$(realpath "$1")
cli=$(realpath "$2")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/bin" "$tmp/work/shapes" "$tmp/other"
ln -s "$cli" "$tmp/bin/plivra-cli"
PATH=$tmp/bin:$PATH
cd "$tmp/work" || exit 1
touch start.suf target.suf old.png notes.txt
touch "$tmp/other/readme.txt"

# shellcheck source=/dev/null
source "$completion"
failed=0
passed=0

# offers LINE: what completing the last word of LINE offers, sorted, one a
# line ("plivra-cli morph " completes an empty word).
offers() {
    local line=$1
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _plivra_cli plivra-cli plivra-cli "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort
}

# expect LINE WANTED...: completing LINE offers exactly WANTED.
expect() {
    local line=$1
    shift
    local got wanted
    got=$(offers "$line")
    wanted=$(printf '%s\n' "$@" | sed '/^$/d' | sort)
    if [ "$got" = "$wanted" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: '$line'"
        echo "  wanted: $(echo $wanted)"
        echo "  got:    $(echo $got)"
    fi
}

# The commands are those plivra-cli lists.
mapfile -t commands < <("$cli" --help | sed -n '/^commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p')
[ ${#commands[@]} -ge 5 ] || { echo "FAIL: plivra-cli --help lists ${#commands[@]} commands"; exit 1; }
expect "plivra-cli " "${commands[@]}"
expect "plivra-cli mo" morph
expect "plivra-cli --v" --version

# Shape files first, with folders; pictures where a picture is written.
expect "plivra-cli morph " start.suf target.suf shapes
expect "plivra-cli morph st" start.suf
expect "plivra-cli info " start.suf target.suf shapes
expect "plivra-cli render start.suf " old.png shapes
expect "plivra-cli morph start.suf target.suf 50 " start.suf target.suf shapes
# A percentage or a file name pattern has nothing to offer.
expect "plivra-cli morph start.suf target.suf "
expect "plivra-cli frames start.suf target.suf 0 100 25 "
# Without a shape file in reach, any file will do.
expect "plivra-cli info ../other/" ../other/readme.txt

# Options of each command, and their values.
expect "plivra-cli render start.suf out.png --" --view --size --grid --help
expect "plivra-cli frames a.suf b.suf 0 100 25 x_{}.suf --p" --png --png-only
expect "plivra-cli render start.suf out.png --view " xy yz zx perspective
expect "plivra-cli morph start.suf target.suf 50 out.suf --normals " lerp renormalize
expect "plivra-cli frames start.suf target.suf 0 100 25 x_{}.suf --sheet " old.png shapes
expect "plivra-cli render start.suf out.png --size "
# Options and their values do not count as arguments.
expect "plivra-cli render --view zx start.suf " old.png shapes
expect "plivra-cli morph --normals lerp --timings " start.suf target.suf shapes
# Every option of every command, as its --help names them in the usage.
for command in "${commands[@]}"; do
    mapfile -t listed < <("$cli" "$command" --help | sed -n '/^usage:/,/^$/p' |
        grep -oE -- '--[a-z][a-z-]*' | sort -u)
    expect "plivra-cli $command --" --help "${listed[@]}"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

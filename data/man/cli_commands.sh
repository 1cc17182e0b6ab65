#!/usr/bin/env bash
# Writes the COMMANDS section of plivra-cli(1) for help2man's --include:
#   bash cli_commands.sh PLIVRA_CLI commands.h2m
# Each command's --help text goes in as it is printed, so the page says what
# the program says.
set -euo pipefail
cli=$1
exec >"$2"

# Escapes text for roff: backslashes, minus signs (so options copy as
# typed), and a dot or quote that starts a line.
roff() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\([.']\)/\\\\\&\1/"; }

commands=$("$cli" --help | sed -n '/^commands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p')
[ -n "$commands" ] || { echo "$0: $cli --help lists no commands" >&2; exit 1; }

echo "[COMMANDS]"
for command in $commands; do
    echo ".SS $command"
    echo ".nf"
    "$cli" "$command" --help | roff
    echo ".fi"
done

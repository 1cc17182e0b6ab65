#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop sees:
#   bash tests/install/installed_tree.sh BUILD_DIR SOURCE_DIR VERSION
# the programs, the menu entry and metadata (through their validators), the
# icons, the man pages and the completion, and that the menu entry's Japanese
# texts are the window's.
set -u
build=$(realpath "$1")
src=$(realpath "$2")
version=$3
id=io.github.plivra.Plivra
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr
failed=0
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

if ! cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi

expected=(
    bin/plivra bin/plivra-cli bin/vane-panel
    share/applications/$id.desktop
    share/metainfo/$id.metainfo.xml
    share/icons/hicolor/scalable/apps/$id.svg
    share/man/man1/plivra.1.gz share/man/man1/plivra-cli.1.gz
    share/bash-completion/completions/plivra-cli
)
for size in 16 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
    [ -s "$prefix/$file" ] || fail "not installed: $file"
done
for program in plivra plivra-cli vane-panel; do
    [ -x "$prefix/bin/$program" ] || fail "not executable: bin/$program"
done

# Each PNG is the size its folder says.
for size in 16 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
    [ -s "$png" ] || continue
    got=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
    [ "$got" = "${size}x${size}" ] || fail "icon ${size}x${size} is $got"
done

desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
echo "desktop-file-validate $desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
echo "appstreamcli validate --no-net $metainfo"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"

# The menu entry names what is installed.
exec_line=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_line" ] || fail "Exec=$exec_line is not an installed program"
grep -qx "Icon=$id" "$desktop" || fail "Icon is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo launches something else than $id.desktop"
# The newest release is this version.
release=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "newest release in the metainfo is $release, the project is $version"

# The Japanese texts are the window's own: its caption and its first line.
for key in 'GenericName\[ja\]' 'Comment\[ja\]'; do
    text=$(sed -n "s/^$key=//p" "$desktop")
    [ -n "$text" ] || { fail "no $key"; continue; }
    grep -qF "tr(\"$text\")" "$src/app/plivra_mainform.cpp" ||
        fail "$key '$text' is no text of the window"
done

# --help and --version answer without a display.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
for program in plivra plivra-cli; do
    got=$("${nodisplay[@]}" "$prefix/bin/$program" --version 2>&1)
    [ "$got" = "$program $version" ] || fail "$program --version says '$got'"
    "${nodisplay[@]}" "$prefix/bin/$program" --help >"$tmp/help" 2>&1 ||
        fail "$program --help exits $?"
    grep -qi "^usage: $program" "$tmp/help" || fail "$program --help has no usage line"
done

# The man pages come from those texts: plivra-cli's has a part for each command.
for program in plivra plivra-cli; do
    page=$tmp/$program.1
    gzip -dc "$prefix/share/man/man1/$program.1.gz" >"$page" || { fail "$program.1.gz"; continue; }
    grep -qi "^\.TH $program \"1\" .* \"$program $version\"" "$page" ||
        fail "$program.1 has no title line for version $version"
    grep -q 'help' "$page" || fail "$program.1 lacks the options"
done
for command in $("$prefix/bin/plivra-cli" --help | sed -n '/^commands:/,/^$/s/^  \([a-z-]*\) .*/\1/p'); do
    grep -qx "\.SS $command" "$tmp/plivra-cli.1" || fail "plivra-cli.1 has no part for $command"
    grep -q "usage: plivra\\\\-cli $command\|usage: plivra-cli $command" "$tmp/plivra-cli.1" ||
        fail "plivra-cli.1 lacks the usage of $command"
done

echo "installed tree:"
(cd "$tmp" && find usr | sort)
if [ "$failed" -ne 0 ]; then
    echo "$failed failed"
    exit 1
fi
echo "installed tree: all checks passed"

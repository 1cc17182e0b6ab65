#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks its files and
# control fields:
#   bash tests/install/package.sh BUILD_DIR VERSION
set -u
build=$(realpath "$1")
version=$2
id=io.github.plivra.Plivra
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }

if ! (cd "$build" && cpack --config CPackConfig.cmake -G DEB -B "$tmp") >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
shopt -s nullglob
debs=("$tmp"/plivra_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
    cat "$tmp/cpack.log"
    echo "FAIL: wanted one plivra_*.deb, got ${#debs[@]}"
    exit 1
fi
deb=${debs[0]}
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "plivra_${version}-1_${arch}.deb" ] || fail "named $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's,^\./,/,; s,/$,,' >"$tmp/files"
expected=(
    /usr/bin/plivra /usr/bin/plivra-cli /usr/bin/vane-panel
    /usr/share/applications/$id.desktop
    /usr/share/metainfo/$id.metainfo.xml
    /usr/share/icons/hicolor/scalable/apps/$id.svg
    /usr/share/man/man1/plivra.1.gz /usr/share/man/man1/plivra-cli.1.gz
    /usr/share/bash-completion/completions/plivra-cli
)
for size in 16 24 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for file in "${expected[@]}"; do
    grep -qxF "$file" "$tmp/files" || fail "not in the package: $file"
done
# Nothing else comes along: no headers, libraries or test programs.
stray=$(grep -v -e '^/usr$' -e '^/usr/bin' -e '^/usr/share' -e '^/$' "$tmp/files")
[ -z "$stray" ] || fail "unexpected files in the package: $stray"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = plivra ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# From the linked libraries (dpkg-shlibdeps), and what is loaded at run time.
for package in libqt6widgets6 libqt6gui6 libqt6core6 libpng16-16 libstdc++6 libc6 \
    qt6-qpa-plugins 'fonts-ipafont | fonts-noto-cjk'; do
    case ", $depends," in
    *", $package"[\ ,]*) ;;
    *) fail "Depends lacks $package: $depends" ;;
    esac
done

echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
echo "Depends: $depends"
if [ "$failed" -ne 0 ]; then
    echo "$failed failed"
    exit 1
fi
echo "package: all checks passed"

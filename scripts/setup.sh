#!/usr/bin/env bash
# Installs the Debian packages plivra needs to build, test and run.
# Does nothing when everything is already there; works as root or through sudo.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libpng-dev
  qt6-base-dev
  fonts-ipafont xvfb xauth
  clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck
  libtinyobjloader-dev libtinygltf-dev nodejs
  python3
  help2man librsvg2-bin desktop-file-utils appstream dpkg-dev
  parallel
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# Debian's npm is a package of its own; other builds of node bring theirs.
command -v npm >/dev/null 2>&1 || missing+=(npm)

install_validator() {
  # The glTF validator the format tests run, from the npm registry at the
  # version the lock file pins.
  local validator
  validator=$(dirname "$0")/../tests/formats/validator
  if [ ! -d "$validator/node_modules/gltf-validator" ]; then
    (cd "$validator" && npm ci --no-audit --no-fund --silent)
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  install_validator
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "setup: need root or sudo to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq "${missing[@]}"
install_validator

#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, run and test, when any is missing, and
# any more named as arguments (scripts/test.sh and scripts/package.sh name their own tools).
# With --windows first, also what cross-builds, tests and packages it for Windows.
# Installs as root, or through sudo for an ordinary user.
set -euo pipefail

# The MinGW-w64 cross compiler, Wine to run the results (64-bit programs need no wine32) and
# NSIS for the installer.
windows=()
if [ "${1:-}" = --windows ]; then
    shift
    windows=(g++-mingw-w64-x86-64-posix wine wine64 nsis xz-utils)
fi

# clang, libclang-rt-14-dev (libFuzzer) and llvm (llvm-symbolizer) build and read the fuzz targets.
# fonts-liberation2 stands in for the dialogs' Windows font with the same widths.
packages=(cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core fonts-liberation2 iproute2 util-linux
          xdg-utils ca-certificates clang libclang-rt-14-dev llvm "${windows[@]}" "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || {
        echo "Missing packages; as root, run: apt-get install ${missing[*]}" >&2
        exit 1
    }
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"

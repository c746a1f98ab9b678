#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, run and test, when any is missing.
# With --windows first, also what cross-builds, tests and packages it for Windows.
set -euo pipefail

# The MinGW-w64 cross compiler, Wine to run the results (64-bit programs need no wine32) and
# NSIS for the installer.
windows=()
if [ "${1:-}" = --windows ]; then
    shift
    windows=(g++-mingw-w64-x86-64-posix wine wine64 nsis xz-utils)
fi

# clang, libclang-rt-14-dev (libFuzzer) and llvm (llvm-symbolizer) build and read the fuzz targets.
packages=(cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core iproute2 util-linux
          xdg-utils ca-certificates clang libclang-rt-14-dev llvm "${windows[@]}" "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    [ "$(id -u)" -eq 0 ] || { echo "run as root to install packages" >&2; exit 1; }
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

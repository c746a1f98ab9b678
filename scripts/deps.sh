#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, run and test, when any is missing.
set -euo pipefail

# clang, libclang-rt-14-dev (libFuzzer) and llvm (llvm-symbolizer) build and read the fuzz targets.
# fonts-liberation2 stands in for the dialogs' Windows font with the same widths.
packages=(cmake ninja-build g++ qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core fonts-liberation2 iproute2 util-linux
          xdg-utils ca-certificates clang libclang-rt-14-dev llvm "$@")
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

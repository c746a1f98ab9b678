#!/usr/bin/env bash
# Cross-compiles Corvane for 64-bit Windows with MinGW-w64, warnings as errors, into
# build/windows: the programs, the vendor library, the tests (the device simulator stays a Linux
# program), and build/windows/dist/, which holds the programs with every DLL and plugin they need
# and runs on a Windows machine as it is.
#
# Qt for MinGW comes from an archive built by scripts/build-qt-mingw.sh (about half an hour, so it
# is made once and kept outside the repository). The folder holding
# qt6.4.2-mingw-x86_64.tar.xz is CORVANE_WINDOWS_KIT, else ../shared/windows beside this
# repository, else /work/shared/windows.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh --windows

archive_name=qt6.4.2-mingw-x86_64.tar.xz
kit=""
for dir in "${CORVANE_WINDOWS_KIT:-}" "$root/../shared/windows" /work/shared/windows; do
    if [ -n "$dir" ] && [ -f "$dir/$archive_name" ]; then
        kit=$(cd "$dir" && pwd)
        break
    fi
done
if [ -z "$kit" ]; then
    echo "build-windows.sh: $archive_name not found in \$CORVANE_WINDOWS_KIT, ../shared/windows or" \
        "/work/shared/windows. Make it with scripts/build-qt-mingw.sh (about 30 minutes) and set" \
        "CORVANE_WINDOWS_KIT to the folder that holds it." >&2
    exit 1
fi

# Unpacked once per archive; the stamp notices a new one.
qt_root=$root/build/windows-qt
qt=$qt_root/qt6-mingw
stamp=$(stat -c '%s %Y' "$kit/$archive_name")
if [ ! -f "$qt_root/stamp" ] || [ "$(cat "$qt_root/stamp")" != "$stamp" ]; then
    rm -rf "$qt_root"
    mkdir -p "$qt_root"
    tar -C "$qt_root" -xJf "$kit/$archive_name"
    echo "$stamp" >"$qt_root/stamp"
fi

jobs=${CORVANE_JOBS:-$(nproc)}
# QT_HOST_PATH: the host's moc and rcc (Debian's qt6-base-dev, the same 6.4.2) do the work.
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQT_HOST_PATH=/usr \
    -DCORVANE_HOST_DEVSIM="$root/build/release/tools/devsim/corvane-devsim"
cmake --build build/windows -j "$jobs"
rm -rf build/windows/dist
cmake --install build/windows --prefix build/windows/dist

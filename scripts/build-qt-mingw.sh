#!/usr/bin/env bash
# Builds Qt 6.4.2 (qtbase: Core, Gui, Widgets, Network, Test, the Windows platform plugin) for MinGW-w64 x86-64 from
# Debian's own qt6-base source package, and packs it as qt6.4.2-mingw-x86_64.tar.xz in the current folder.
# Tablet input is off: Debian's source leaves out the third-party wintab.h it needs. About 20 minutes on two cores. Needs root for apt. Uses the host's Qt 6.4.2 tools (moc, rcc) through QT_HOST_PATH.
set -euo pipefail
toolchain=$(cd "$(dirname "$0")/.." && pwd)/cmake/mingw-w64-x86_64.cmake
out=$PWD
work=${WORK:-/tmp/qt-mingw-build}
prefix=${PREFIX:-/opt/qt6-mingw}
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q --no-install-recommends g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
    qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev xz-utils >/dev/null
if ! ls /etc/apt/sources.list.d/*.sources 2>/dev/null | xargs grep -q 'deb-src'; then
  uri=$(awk '/^URIs/{print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" >/etc/apt/sources.list.d/qt-src.sources
  apt-get update -q >/dev/null
fi
mkdir -p "$work" && cd "$work"
[ -d qtbase-everywhere-src-6.4.2 ] || { apt-get source --download-only qt6-base=6.4.2+dfsg-10 >/dev/null; tar xf qt6-base_6.4.2+dfsg.orig.tar.xz; }
cmake -G Ninja -S qtbase-everywhere-src-6.4.2 -B build -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_ssl=OFF -DFEATURE_openssl=OFF -DFEATURE_schannel=OFF -DINPUT_openssl=no \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF >configure.log
cmake --build build --parallel "$(nproc)"
rm -rf "$prefix"; cmake --install build >/dev/null
tar -C "$(dirname "$prefix")" -cJf "$out/qt6.4.2-mingw-x86_64.tar.xz" "$(basename "$prefix")"
echo "$out/qt6.4.2-mingw-x86_64.tar.xz"

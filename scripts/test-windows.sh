#!/usr/bin/env bash
# Cross-builds Corvane for Windows, makes its installer (scripts/package-windows.sh) and runs the
# Windows tests under Wine: each inside private network namespaces (tests/netns-run.sh, as root or
# in a user namespace), against the Linux device simulator, and the installer's install, run and
# uninstall. After or without the Linux build (its device simulator is built here when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/package-windows.sh
[ -f build/release/build.ninja ] || cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_WERROR=ON
cmake --build build/release --target corvane-devsim

# A fresh Wine prefix for the tests to copy (tests/wine/run-test.sh makes it), and none left from
# runs that were killed.
rm -rf "${TMPDIR:-/tmp}/corvane-wine-$(id -u)"
ctest --test-dir build/windows --output-on-failure -j "${CORVANE_JOBS:-$(nproc)}"

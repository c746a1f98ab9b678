#!/usr/bin/env bash
# Checks the format, then builds Corvane twice, Release and Debug with AddressSanitizer and
# UndefinedBehaviorSanitizer, warnings as errors, and runs every test in both; then builds the
# fuzz targets with Clang and runs each a short while. Tests that open a socket run inside
# private network namespaces they make themselves (tests/netns-run.sh), so nothing is ever sent
# on this machine's network: as root directly, as an ordinary user inside a user namespace.
set -euo pipefail
cd "$(dirname "$0")/.."

# Started through sudo, the tests run as the user who ran sudo; only packages are installed as root.
user=$(id -un)
as_user=()
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    user=$SUDO_USER
    as_user=(runuser -u "$SUDO_USER" --)
fi
if [ -z "${CORVANE_TEST_MODE_SAID:-}" ]; then
    if [ "$user" = root ]; then
        echo "Testing as root: network tests make their private namespaces directly."
    elif "${as_user[@]}" unshare --user --map-root-user --net --mount true 2>/dev/null; then
        echo "Testing as $user: network tests make their private namespaces inside a user namespace."
    else
        echo "Testing as $user without user namespaces: network tests are SKIPPED."
        echo "Run as root, or allow unprivileged user namespaces (Debian: sysctl kernel.unprivileged_userns_clone=1)."
    fi
fi

# desktop-file-utils and appstream validate the menu entry and the metadata; clang-format-14
# checks the format; ansible-core, python3-pytest, yamllint and pycodestyle test the Ansible
# collection.
# --windows: also what scripts/test-windows.sh needs, installed here while still root.
scripts/deps.sh --windows desktop-file-utils appstream clang-format-14 ansible-core python3-pytest yamllint \
    pycodestyle
if [ ${#as_user[@]} -gt 0 ]; then
    exec "${as_user[@]}" env CORVANE_TEST_MODE_SAID=1 "$0" "$@"
fi
scripts/check-format.sh

jobs=$(nproc)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_WERROR=ON
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_WERROR=ON -DCORVANE_SANITIZE=ON
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan --output-on-failure -j "$jobs"

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON \
    -DCORVANE_FUZZ=ON -DCORVANE_FUZZ_SECONDS=25
cmake --build build/fuzz -j "$jobs" --target corvane-fuzzers
ctest --test-dir build/fuzz --output-on-failure -j "$jobs"

# Windows: cross-built, packaged, and tested under Wine.
scripts/test-windows.sh

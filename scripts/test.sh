#!/usr/bin/env bash
# Builds Corvane twice, Release and Debug with AddressSanitizer and UndefinedBehaviorSanitizer,
# warnings as errors, and runs every test in both; then builds the fuzz targets with Clang and
# runs each a short while. Tests run as root: each one makes its own private network
# namespaces, so nothing is ever sent on this machine's network.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
[ "$(id -u)" -eq 0 ] || { echo "tests need root for their private network namespaces" >&2; exit 1; }

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

#!/usr/bin/env bash
# Builds Corvane twice, Release and Debug with AddressSanitizer and UndefinedBehaviorSanitizer,
# warnings as errors, and runs every test in both. Tests run as root: each one makes its own
# private network namespaces, so nothing is ever sent on this machine's network.
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

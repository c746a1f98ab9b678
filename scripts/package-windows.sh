#!/usr/bin/env bash
# Makes the Windows installer, build/windows/Corvane-<version>-win64-setup.exe (NSIS, through
# CPack), from a fresh cross-build (scripts/build-windows.sh). It installs for every user when run
# by an administrator, else for the user alone; it adds a Start-menu entry and an uninstaller.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh
cd build/windows
cpack -G NSIS -C Release
ls -l Corvane-*-win64-setup.exe

#!/usr/bin/env bash
# Installs Corvane from its Windows installer silently under Wine, runs the installed programs'
# --version, uninstalls it silently, and checks that nothing is left behind: the folder, the
# Start-menu entry, the uninstaller's registry key. Run by run-test.sh --shell, which sets up Wine.
# Usage: installer-check.sh SETUP.EXE
set -euo pipefail
setup=$1
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ -f "$setup" ] || fail "$setup is missing: make it with scripts/package-windows.sh"

drive=$WINEPREFIX/drive_c
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvane'
# Everything but what Wine itself changes as it runs, and the temporary folder: the uninstaller
# runs from a copy there, which it cannot delete while it runs.
snapshot() {
    (cd "$drive" && find . -path ./windows -prune -o -path './users/*/Temp' -prune -o -print | sort)
}

before=$(snapshot)

wine "$setup" /S
wineserver --wait
installed=$drive/Program\ Files/Corvane
[ -f "$installed/corvane.exe" ] || fail "no corvane.exe in C:\\Program Files\\Corvane"
[ -f "$installed/platforms/qwindows.dll" ] || fail "no platform plugin beside corvane.exe"
[ -f "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Corvane/Corvane.lnk" ] || fail "no Start-menu entry"
wine reg query "$key" >/dev/null 2>&1 || fail "no uninstall entry in the registry"

version=$(wine "C:\\Program Files\\Corvane\\corvane.exe" --version | tr -d '\r')
echo "corvane.exe --version: $version"
[[ $version =~ ^Corvane\ [0-9]+(\.[0-9]+)+$ ]] || fail "unexpected version line"
if [ -f "$installed/corvanectl.exe" ]; then
    version=$(wine "C:\\Program Files\\Corvane\\corvanectl.exe" --version | tr -d '\r')
    echo "corvanectl.exe --version: $version"
    [ -n "$version" ] || fail "corvanectl.exe --version printed nothing"
fi

# The uninstaller copies itself elsewhere and runs from there: wait for every Wine process.
wine "C:\\Program Files\\Corvane\\Uninstall.exe" /S
wineserver --wait
! wine reg query "$key" >/dev/null 2>&1 || fail "the uninstall entry is still in the registry"
after=$(snapshot)
if [ "$before" != "$after" ]; then
    diff <(echo "$before") <(echo "$after") >&2 || true
    fail "files left behind"
fi
echo "installed, ran and uninstalled; nothing left behind"

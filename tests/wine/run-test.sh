#!/usr/bin/env bash
# Runs one Windows program of the Windows build under Wine. CTest calls it inside
# tests/netns-run.sh, as it does every Linux test: Wine's sockets are Linux sockets, so the
# program sees only the private namespaces.
#   run-test.sh [--qtest] PROGRAM.exe [ARGS...]
#       --qtest: a QtTest program. Under Wine its output may not reach a pipe, so it writes its
#       results to a file, which is printed.
#   run-test.sh --skip WHY
#       A test that cannot run on Windows: says why, and CTest counts it as skipped.
#   run-test.sh --shell COMMAND [ARGS...]
#       Runs a Linux command that runs Windows programs with wine, in the same setting.
# Where the DLLs are: CORVANE_WINE_DLL_DIRS (colon-separated) and CORVANE_WINE_PLUGIN_DIR.
# Every run has a Wine prefix of its own in a temporary folder, a hard-linked copy of one made once
# (a wineserver serves one network namespace, so parallel runs must not share one).
set -euo pipefail

if [ "${1:-}" = --skip ]; then
    echo "SKIPPED under Wine: $2"
    exit 77
fi
mode=program
case ${1:-} in
--qtest | --shell)
    mode=${1#--}
    shift
    ;;
esac
exe=$1
shift

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" CORVANE_UNDER_WINE=1
unset DISPLAY WAYLAND_DISPLAY

# The prefix every run copies. Made here, inside a private namespace, like everything Wine starts.
# The registry is written when the wineserver ends, hence the wait.
base=${TMPDIR:-/tmp}/corvane-wine-$(id -u)
mkdir -p "$base"
(
    flock 9
    if [ ! -f "$base/template/.ready" ]; then
        rm -rf "$base/template"
        WINEPREFIX=$base/template wineboot --init >/dev/null 2>&1
        WINEPREFIX=$base/template wineserver --wait
        touch "$base/template/.ready"
    fi
) 9>"$base/template.lock"
export WINEPREFIX
WINEPREFIX=$(mktemp -d "$base/run.XXXXXX")
agent=""
finish() {
    [ -z "$agent" ] || kill "$agent" 2>/dev/null || true
    wineserver --kill 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap finish EXIT
cp -al "$base/template/." "$WINEPREFIX/"
# Wine rewrites its registry files in place: those are copied, not linked.
for file in "$base"/template/*.reg; do
    rm "$WINEPREFIX/${file##*/}"
    cp "$file" "$WINEPREFIX/"
done

# Runs the Linux device simulator for the test (tests/support/SimulatorProcess_win.cpp).
export CORVANE_DEVSIM_SPOOL=$WINEPREFIX/devsim
mkdir "$CORVANE_DEVSIM_SPOOL"
"$(dirname "$0")/devsim-agent.sh" "$CORVANE_DEVSIM_SPOOL" &
agent=$!

# Wine's GetAdaptersAddresses fails (ERROR_INVALID_DATA) with GAA_FLAG_INCLUDE_PREFIX, which Qt
# and Corvane ask for, while a route without a gateway covers every address, as netns-run.sh's
# "default dev veth1" does. Through a gateway on veth1 the broadcasts leave by veth1 all the same.
if ip route show default | grep -q '^default dev veth1 '; then
    ip route replace default via 10.77.1.2 dev veth1
fi

winepath=""
IFS=: read -ra dirs <<<"${CORVANE_WINE_DLL_DIRS:-}"
for dir in "${dirs[@]}"; do
    winepath+="${winepath:+;}Z:$dir"
done
export WINEPATH=$winepath
[ -z "${CORVANE_WINE_PLUGIN_DIR:-}" ] || export QT_PLUGIN_PATH="Z:$CORVANE_WINE_PLUGIN_DIR"
# Wine keeps the host's QT_ variables from Windows programs (they would lead them to Linux's Qt)
# and passes WINEQT_ ones on as QT_ instead.
for var in $(compgen -e | grep '^QT_' || true); do
    export "WINE$var=${!var}"
done

case $mode in
program)
    wine "$exe" "$@"
    exit
    ;;
shell)
    "$exe" "$@"
    exit
    ;;
esac
result=$WINEPREFIX/result.txt
status=0
wine "$exe" -o "$result,txt" "$@" || status=$?
if [ -f "$result" ]; then
    cat "$result"
else
    echo "$exe wrote no results" >&2
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"

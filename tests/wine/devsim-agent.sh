#!/usr/bin/env bash
# Runs Linux programs for a Windows test under Wine, which can start one but neither read its
# output nor see it end: run-test.sh starts this beside the test, in the same namespace, and
# tests/support/SimulatorProcess_win.cpp asks through files in SPOOL:
#   <id>.start  the network namespace (empty: this one) on the first line, then the program and
#               its arguments, one a line; C: and Z: paths are turned into Linux paths
#   <id>.out    written here: the program's standard output (its standard error is ours)
#   <id>.exit   written here when it has ended: its exit status
#   <id>.stop   the test wants it ended
# Usage: devsim-agent.sh SPOOL (runs until killed; WINEPREFIX locates C:)
set -uo pipefail
spool=$1

linux_path() {
    local arg=$1
    case $arg in
    [Zz]:[/\\]*) arg=${arg:2} ;;
    [Cc]:[/\\]*) arg=$WINEPREFIX/drive_c/${arg:3} ;;
    *) printf '%s' "$arg"; return ;;
    esac
    printf '%s' "${arg//\\//}"
}

while :; do
    for request in "$spool"/*.start; do
        [ -e "$request" ] || continue
        id=$(basename "$request" .start)
        mapfile -t lines <"$request"
        rm -f "$request"
        command=()
        for arg in "${lines[@]:1}"; do
            command+=("$(linux_path "$arg")")
        done
        [ -z "${lines[0]}" ] || command=(nsenter "--net=/run/netns/${lines[0]}" "${command[@]}")
        (
            "${command[@]}" >"$spool/$id.out" &
            echo $! >"$spool/$id.pid"
            { wait $!; } 2>/dev/null # no "Killed" when the test stops it
            echo $? >"$spool/$id.exit.tmp"
            mv "$spool/$id.exit.tmp" "$spool/$id.exit"
        ) &
    done
    for stop in "$spool"/*.stop; do
        [ -e "$stop" ] || continue
        id=$(basename "$stop" .stop)
        rm -f "$stop"
        for _ in $(seq 100); do
            [ -s "$spool/$id.pid" ] && break
            sleep 0.01
        done
        kill -9 "$(cat "$spool/$id.pid")" 2>/dev/null
    done
    sleep 0.02
done

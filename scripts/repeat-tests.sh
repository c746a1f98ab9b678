#!/usr/bin/env bash
# Runs tests of an existing build many times in a row, one after another, with the sanitizers'
# options of scripts/test.sh: a test that fails only now and then (a leak reported by chance at
# exit) shows here. Each test stops at its first failure, whose output is kept.
#   scripts/repeat-tests.sh [-n RUNS] [-b BUILD_DIR] [TEST...]
# Defaults: 30 runs, build/asan, every test of the build. Prints "TEST: P of R passed" per test
# and exits 1 when any failed.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=30
build=build/asan
while getopts "n:b:" option; do
    case $option in
    n) runs=$OPTARG ;;
    b) build=$OPTARG ;;
    *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))

tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
    mapfile -t tests < <(ctest --test-dir "$build" -N | sed -n 's/^ *Test *#[0-9]*: //p')
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
logs=$(mktemp -d)
failed=0
for test in "${tests[@]}"; do
    passed=0
    tried=0
    for ((run = 1; run <= runs; run++)); do
        tried=$run
        if ctest --test-dir "$build" -R "^${test}\$" --output-on-failure >"$logs/$test.log" 2>&1 &&
            grep -q "100% tests passed" "$logs/$test.log"; then
            passed=$((passed + 1))
        else
            failed=1
            echo "$test: failed in run $run, output in $logs/$test.log"
            break
        fi
    done
    echo "$test: $passed of $tried passed"
done
exit $failed

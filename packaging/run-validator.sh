#!/bin/sh
# run-validator.sh TOOL PACKAGE ARGS...: runs TOOL ARGS..., or says in one line that TOOL (from
# the Debian package PACKAGE) is missing and exits 77, which CTest counts as skipped.
tool=$1
package=$2
shift 2
if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (apt install $package, or scripts/deps.sh $package)"
    exit 77
fi
exec "$tool" "$@"

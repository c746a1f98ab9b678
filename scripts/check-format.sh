#!/usr/bin/env bash
# Fails, naming the files, when a C or C++ source differs from what clang-format 14 makes of it
# with the project's .clang-format. With --fix it reformats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
format=clang-format-14
command -v "$format" >/dev/null || { echo "$format is missing: scripts/deps.sh clang-format-14" >&2; exit 1; }

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.c' '*.h' '*.cpp' | sort -u)
else
    mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.h' -o -name '*.cpp' \) -print)
fi
if [ "${1:-}" = --fix ]; then
    "$format" -i "${files[@]}"
    exit 0
fi
unformatted=()
for f in "${files[@]}"; do
    "$format" "$f" | cmp -s - "$f" || unformatted+=("$f")
done
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "Not formatted as .clang-format says (scripts/check-format.sh --fix):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "Format: ${#files[@]} files as .clang-format says."

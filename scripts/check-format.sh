#!/bin/sh
# Fails, naming the lines, when a source file differs from .clang-format.
# With --fix, formats them instead.
set -eu
cd "$(dirname "$0")/.."
files=$(find src tests bench fuzz -name '*.cpp' -o -name '*.h' | sort)
if [ "${1:-}" = --fix ]; then
    clang-format -i $files
else
    clang-format --dry-run --Werror $files
fi

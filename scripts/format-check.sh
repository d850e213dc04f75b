#!/usr/bin/env bash
# Checks that every C++ source follows .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
    exit 0
fi
clang-format --dry-run --Werror "${files[@]}"

#!/usr/bin/env bash
# Checks what the compiler does not, with the checks in .clang-tidy (clang-tidy finds it by itself):
# that names follow the project's rule (readability-identifier-naming) and that every function's
# parameters are named alike in its declaration and its definition
# (readability-inconsistent-declaration-parameter-name), over every source and header of the project
# as the build in BUILD_DIR (default build/) compiles it; and that headers are included by name.
#   scripts/tidy-check.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/compile_commands.json" ]; then
    echo "tidy-check: $build/compile_commands.json is missing: configure the build first" >&2
    exit 1
fi
# A project header is included by its name alone: a path ("system/PosixLauncher.h") would reach past
# the include directories that keep each layer to the headers it may use.
if git grep -n '#include "[^"]*/' -- '*.cpp' '*.h'; then
    echo "tidy-check: include these by the header's name alone, never by a path" >&2
    exit 1
fi
folders='(app|base|bench|dialogs|fuzz|performer|platform|reception|resources|storage|tests|tools)'
run-clang-tidy-14 -quiet -p "$build" -j "$(nproc)" \
    -header-filter="^$PWD/$folders/" "^$PWD/$folders/.*\.cpp$"

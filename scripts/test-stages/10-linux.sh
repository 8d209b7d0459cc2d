#!/usr/bin/env bash
# The sources' layout (.clang-format), then the Linux suites in a debug build (the benchmarks
# built too).
set -euo pipefail
cd "$(dirname "$0")/../.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror
fi
# With the benchmarks, which nothing else builds in CI: they compile against the code as it is.
cmake --preset linux-debug -DVELLOCAR_BUILD_BENCH=ON >/dev/null
cmake --build --preset linux-debug
ctest --preset linux-debug -j2

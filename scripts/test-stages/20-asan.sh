#!/usr/bin/env bash
# The same suites under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cmake --preset linux-asan >/dev/null
cmake --build --preset linux-asan
ctest --preset linux-asan -j2

#!/usr/bin/env bash
# The Linux suites in a debug build.
set -euo pipefail
cmake --preset linux-debug >/dev/null
cmake --build --preset linux-debug
ctest --preset linux-debug -j2

#!/usr/bin/env bash
# vellocar-cli against an independent Python reader and writer of the KEY and BIF formats (V1 and
# E1), of the ERF family (HAK, MOD, ERF, NWM, SAV) and of talk tables and soundsets.
set -euo pipefail
cmake --preset linux-debug >/dev/null
cmake --build --preset linux-debug --target vellocar-cli
/usr/bin/python3 tests/interop/interop.py build/linux-debug/src/cli/vellocar-cli

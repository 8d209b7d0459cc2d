#!/usr/bin/env bash
# The Windows build: cross-built with mingw-w64, statically linked, and every suite run under
# Wine through tests/win32/wine-run (private prefix, own Xvfb display when none is set).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build/mingw-release
cmake --preset mingw-release >/dev/null
cmake --build --preset mingw-release

# Each .exe must start alone on a bare Windows: it may import only DLLs that Windows itself
# provides (the Wine prefix's system32 holds exactly those), never the mingw runtime.
VELLOCAR_WINE_DIR=$build/wine tests/win32/wine-run --print-env >/dev/null
system32=$build/wine/prefix/drive_c/windows/system32
status=0
while IFS= read -r exe; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}'); do
    if [ -z "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
      echo "error: $exe imports $dll, which is not a Windows system DLL" >&2
      status=1
    fi
  done
done < <(find "$build/src" "$build/tests" -name '*.exe' -not -path '*/CMakeFiles/*')
[ "$status" -eq 0 ] || exit 1

ctest --preset mingw-release -j2

# Cross-compiling vellocar.exe for 64-bit Windows with Debian's mingw-w64 (posix threads variant:
# the win32 variant has no std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELLOCAR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${VELLOCAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLOCAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${VELLOCAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELLOCAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The .exe files must run with nothing beside Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the cross-built test programs under Wine through this wrapper (private prefix,
# persistent wineserver, a display of its own when none is set).
get_filename_component(VELLOCAR_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../tests/win32/wine-run" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${VELLOCAR_WINE_RUN}")

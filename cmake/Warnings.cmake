# One interface target carries the warning set; every target of the project links it.
add_library(vellocar_warnings INTERFACE)
add_library(vellocar::warnings ALIAS vellocar_warnings)

option(VELLOCAR_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

if(MSVC)
  target_compile_options(vellocar_warnings INTERFACE /W4 /permissive-)
  if(VELLOCAR_WARNINGS_AS_ERRORS)
    target_compile_options(vellocar_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(vellocar_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
    -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
    -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
  # GCC 12 at -O2 and above reports overlapping copies inside std::string's own insert()
  # (GCC bug 105651, fixed in 13), which breaks every optimized build under -Werror.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(vellocar_warnings INTERFACE -Wno-restrict)
  endif()
  if(VELLOCAR_WARNINGS_AS_ERRORS)
    target_compile_options(vellocar_warnings INTERFACE -Werror)
  endif()
endif()

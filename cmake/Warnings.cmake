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
  if(VELLOCAR_WARNINGS_AS_ERRORS)
    target_compile_options(vellocar_warnings INTERFACE -Werror)
  endif()
endif()

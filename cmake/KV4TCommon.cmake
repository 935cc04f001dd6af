# Warnings for our own targets; link it PRIVATE to every target of the project.
add_library(kv4t_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(kv4t_warnings INTERFACE -Wall -Wextra)
endif()

# The generated version header (project(VERSION) is the only place the version is written).
add_library(kv4t_version INTERFACE)
target_include_directories(kv4t_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# MinGW: the C and C++ run-time and winpthread linked in, so a .exe or .dll runs
# with nothing else beside it. -static takes from winpthread only the members the
# program needs: pulling in the whole archive would also bring its version
# resource, an English VERSIONINFO that Windows may find before the program's own.
function(kv4t_static_runtime target)
  if(MINGW)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
  endif()
endfunction()

# Every target names its sources in a list. kv4t_sources(VAR file...): the
# files listed, less the other platform's: *_win32.cpp (and *_win32_test.cpp) only
# for Windows, *_posix.cpp (and *_posix_test.cpp) only elsewhere, so that a
# platform seam's two files stand side by side in the list.
function(kv4t_sources var)
  set(srcs ${ARGN})
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix(_test)?\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_win32(_test)?\\.cpp$")
  endif()
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()

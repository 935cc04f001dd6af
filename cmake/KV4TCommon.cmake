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

# kv4t_platform_sources(VAR DIR): the .cpp files of DIR, keeping *_win32.cpp only
# for Windows and *_posix.cpp only elsewhere.
function(kv4t_platform_sources var dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()

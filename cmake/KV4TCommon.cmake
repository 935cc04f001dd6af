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

# kv4t_platform_sources(VAR DIR [SUFFIX s]): the files of DIR named *<s>.cpp (s empty
# unless given; "_test" picks test sources), keeping *_win32<s>.cpp only for
# Windows and *_posix<s>.cpp only elsewhere.
function(kv4t_platform_sources var dir)
  cmake_parse_arguments(P "" "SUFFIX" "" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*${P_SUFFIX}.cpp)
  if(WIN32)
    list(FILTER srcs EXCLUDE REGEX "_posix${P_SUFFIX}\\.cpp$")
  else()
    list(FILTER srcs EXCLUDE REGEX "_win32${P_SUFFIX}\\.cpp$")
  endif()
  set(${var} ${srcs} PARENT_SCOPE)
endfunction()

# Checks that a shared library exports exactly the six Pargo functions.
#   cmake -DTOOL=<objdump or nm> -DMODE=<pe|elf> -DLIBRARY=<file> -P check_exports.cmake
set(expected PRGO_FreeString PRGO_LookupArgBool PRGO_LookupArgInt PRGO_LookupArgString
             PRGO_LookupIoArg PRGO_SetArguments)
if(MODE STREQUAL "pe")
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  # The names follow the "[Ordinal/Name Pointer] Table" heading, one "[   n] name" a line.
  string(FIND "${out}" "[Ordinal/Name Pointer] Table" at)
  if(at LESS 0)
    message(FATAL_ERROR "${LIBRARY} has no export name table:\n${out}")
  endif()
  string(SUBSTRING "${out}" ${at} -1 out)
  string(REGEX MATCHALL "\n[ \t]+\\[ *[0-9]+\\] [^\n]+" lines "${out}")
  set(names)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n[ \t]+\\[ *[0-9]+\\] " "" name "${line}")
    list(APPEND names "${name}")
  endforeach()
else()
  execute_process(COMMAND ${TOOL} -D --defined-only --format=posix ${LIBRARY}
                  OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  string(REPLACE "\n" ";" lines "${out}")
  set(names)
  foreach(line IN LISTS lines)
    # "name type value size": every defined kind of symbol a program can bind to,
    # unique (u) and indirect (i) ones included.
    if(line MATCHES "^([^ ]+) [TtDdBbRrVvWwuiGgSs] ")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed on ${LIBRARY}: ${rc}")
endif()
list(SORT names)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${LIBRARY} exports [${names}], expected exactly [${expected}]")
endif()
message(STATUS "${LIBRARY} exports exactly: ${names}")

# Checks that a Windows program imports Pargo.dll by name at load time, with
# exactly the four functions the start-up calls.
#   cmake -DTOOL=<objdump> -DPROGRAM=<exe> -P check_imports.cmake
set(expected PRGO_FreeString PRGO_LookupArgInt PRGO_LookupArgString PRGO_SetArguments)
execute_process(COMMAND ${TOOL} -p ${PROGRAM} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed on ${PROGRAM}: ${rc}")
endif()
# "The Import Tables" lists each library loaded with the program as "DLL Name: X",
# a heading line and its functions, one "<vma> <hint> <name>" a line, up to a blank
# line. Libraries loaded on first call are listed elsewhere and do not count.
string(FIND "${out}" "The Import Tables" tables)
string(FIND "${out}" "DLL Name: Pargo.dll" dll)
if(tables LESS 0 OR dll LESS tables)
  message(FATAL_ERROR "${PROGRAM} does not import Pargo.dll at load time")
endif()
string(SUBSTRING "${out}" ${dll} -1 block)
string(FIND "${block}" "\n\n" end)
string(SUBSTRING "${block}" 0 ${end} block)
string(REGEX MATCHALL "[0-9]+  [A-Za-z_][A-Za-z0-9_]*" entries "${block}")
list(TRANSFORM entries REPLACE "^[0-9]+  " "")
list(SORT entries)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "${PROGRAM} imports [${entries}] from Pargo.dll, expected [${expected}]")
endif()
message(STATUS "${PROGRAM} imports from Pargo.dll: ${entries}")

# Makes the packages from the Windows build tree for the package tests: the help
# first (it takes in the screenshots that tests run before may have saved), then
# cpack, which builds nothing else. Packages of an earlier run go first, so that the
# tests never meet one cpack did not make now.
#   cmake -DBUILD=<build tree> -DCPACK=<cpack> -DZIP=<archive> -DSETUP=<installer> -P make_packages.cmake
file(REMOVE ${ZIP} ${SETUP})
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target kv4t_help RESULT_VARIABLE help)
if(NOT help EQUAL 0)
  message(FATAL_ERROR "the help file did not build")
endif()
execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake RESULT_VARIABLE packaged)
if(NOT packaged EQUAL 0)
  message(FATAL_ERROR "cpack failed")
endif()
foreach(package ${ZIP} ${SETUP})
  if(NOT EXISTS ${package})
    message(FATAL_ERROR "cpack did not make ${package}")
  endif()
endforeach()

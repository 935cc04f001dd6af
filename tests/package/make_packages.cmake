# Makes the packages from the Windows build tree for the package tests: the help
# first (it takes in the screenshots that tests run before may have saved), then
# scripts/package without building anything else.
#   cmake -DBUILD=<build tree> -DOUT=<folder> -DSOURCE=<source tree> -P make_packages.cmake
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD} --target kv4t_help RESULT_VARIABLE help)
if(NOT help EQUAL 0)
  message(FATAL_ERROR "the help file did not build")
endif()
execute_process(COMMAND ${SOURCE}/scripts/package --no-build --build-dir ${BUILD} --out ${OUT}
                RESULT_VARIABLE packaged)
if(NOT packaged EQUAL 0)
  message(FATAL_ERROR "scripts/package failed")
endif()

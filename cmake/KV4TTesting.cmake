# GoogleTest: Debian's packages natively; for Windows, built from the sources
# Debian's libgtest-dev ships, with the cross toolchain.
if(KV4T_FUZZ OR NOT KV4T_TESTS)
  # fuzz and benchmark builds need no GoogleTest
elseif(CMAKE_CROSSCOMPILING)
  if(NOT TARGET GTest::gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Tests run in parallel. Those that keep a line's real timing against the simulated
# converter run side by side natively, where they raise their priority
# (tests/support/line_timing_priority_posix.cpp), but share this lock and run one at
# a time (other tests beside them) under Wine, whose programs all talk to the line
# through one Wine server at the ordinary priority, and under ThreadSanitizer, which
# makes the configurator's own code several times slower: there a second such test
# on two cores can stretch an answer past its time-out.
set(KV4T_SIM_TIMING_LOCK sim_timing)
set(KV4T_SIM_TIMING_PROPERTIES RESOURCE_LOCK ${KV4T_SIM_TIMING_LOCK})
if(NOT WIN32 AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread")
  set(KV4T_SIM_TIMING_PROPERTIES)
endif()

# The tests under Wine share one display and its one mouse pointer. Those that move
# the pointer, or whose outcome depends on which window lies under it (a balloon tip
# follows the pointer), hold this lock: beside one another they would move it away
# from each other's windows, which the tests place alike.
set(KV4T_POINTER_LOCK display_pointer)

# kv4t_add_gtest(NAME [SIM_TIMING] [POINTER_CASES filter] SOURCES ... LIBS ...
#                [PROPERTIES name value ...]):
# one test executable, every test case registered with ctest (found when ctest runs,
# so the build never starts Wine) with the given test properties besides its
# time-out. SIM_TIMING: its cases keep a line's real timing (the properties and
# the priority above). POINTER_CASES: the cases the GoogleTest filter names hold
# the pointer lock.
function(kv4t_add_gtest name)
  cmake_parse_arguments(T "SIM_TIMING" "POINTER_CASES" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gtest kv4t_warnings)
  kv4t_static_runtime(${name})
  kv4t_test_pch(${name})
  set(props TIMEOUT 120 ${T_PROPERTIES})
  if(T_SIM_TIMING)
    list(APPEND props ${KV4T_SIM_TIMING_PROPERTIES})
    # Natively, at a raised priority where allowed (the file says why).
    if(NOT WIN32)
      target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support/line_timing_priority_posix.cpp)
    endif()
  endif()
  if(T_POINTER_CASES)
    kv4t_discover_cases(${name} "-${T_POINTER_CASES}" ${props})
    kv4t_discover_cases(${name} "${T_POINTER_CASES}" ${props} RESOURCE_LOCK ${KV4T_POINTER_LOCK})
  else()
    kv4t_discover_cases(${name} "" ${props})
  endif()
  kv4t_label_programs(${name})
endfunction()

# kv4t_test_pch(TARGET): a test program of three sources or more compiles GoogleTest's
# header once, precompiled, instead of in each source (about 2.5 s of each).
function(kv4t_test_pch target)
  get_property(sources TARGET ${target} PROPERTY SOURCES)
  list(LENGTH sources n)
  if(n GREATER 2)
    target_precompile_headers(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:<gtest/gtest.h$<ANGLE-R>>")
  endif()
endfunction()

# kv4t_discover_cases(TARGET FILTER PROPERTIES...): the cases of TARGET that the
# GoogleTest filter names (all when empty), each a ctest test with these properties.
# Under Wine they run in one Wine process, a batch test of their own that their tests
# depend on (tests/wine-batched says how each case still reports, and runs, alone).
set(KV4T_WINE_BATCHED ${CMAKE_SOURCE_DIR}/tests/wine-batched)
function(kv4t_discover_cases target filter)
  set(props ${ARGN})
  set(filter_args)
  if(filter)
    set(filter_args TEST_FILTER "${filter}")
  endif()
  if(WIN32)
    get_property(batches TARGET ${target} PROPERTY KV4T_BATCHES)
    list(LENGTH batches n)
    set(batch wine_batch.${target})
    if(n GREATER 0)
      set(batch wine_batch.${target}.${n})
    endif()
    set_property(TARGET ${target} APPEND PROPERTY KV4T_BATCHES ${batch})
    set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR ${KV4T_WINE_BATCHED})
    set(batch_filter "${filter}")
    if(NOT batch_filter)
      set(batch_filter "*")
    endif()
    add_test(NAME ${batch} COMMAND ${KV4T_WINE_BATCHED} --batch $<TARGET_FILE:${target}> "${batch_filter}")
    set_tests_properties(${batch} PROPERTIES ${props})
    set_tests_properties(${batch} PROPERTIES TIMEOUT 600)
    list(APPEND props DEPENDS ${batch})
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    ${filter_args} PROPERTIES ${props})
endfunction()

# kv4t_label_programs(TARGET): TARGET is built by kv4t_tests_LABEL for each label of
# its folder (the LABELS folder property), so that a preset that runs the tests of
# one label builds only their programs (the tsan preset: kv4t_tests_pages).
function(kv4t_label_programs target)
  get_property(labels DIRECTORY PROPERTY LABELS)
  foreach(label ${labels})
    if(NOT TARGET kv4t_tests_${label})
      add_custom_target(kv4t_tests_${label})
    endif()
    add_dependencies(kv4t_tests_${label} ${target})
  endforeach()
endfunction()

# kv4t_add_fuzzer(NAME SOURCES ... LIBS ...): a libFuzzer target, and a short smoke
# run of it as a ctest test (KV4T_FUZZ_SECONDS each, default 10).
function(kv4t_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS} kv4t_warnings)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/corpus/${name})
  file(MAKE_DIRECTORY ${corpus})
  # libFuzzer refuses a corpus folder that does not exist: seeds are optional.
  set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/seeds/${name})
  if(NOT EXISTS ${seeds})
    set(seeds)
  endif()
  if(NOT DEFINED KV4T_FUZZ_SECONDS)
    set(KV4T_FUZZ_SECONDS 10)
  endif()
  # kv4t_fuzzers builds every fuzz target and nothing else (the fuzz preset).
  if(NOT TARGET kv4t_fuzzers)
    add_custom_target(kv4t_fuzzers)
  endif()
  add_dependencies(kv4t_fuzzers ${name})
  add_test(NAME fuzz.${name}
    COMMAND ${name} -max_total_time=${KV4T_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048 ${corpus} ${seeds})
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 600)
endfunction()

# The native simulator program, for Windows tests that need a converter on a COM
# port: the Windows build cannot build it, so it comes from a native build tree
# (scripts/test builds it before the Windows tests). Without it those tests fail,
# saying how to build it.
set(KV4T_SIM_PROGRAM "${CMAKE_SOURCE_DIR}/build/linux/bin/kv4t-sim" CACHE FILEPATH
    "Native kv4t-sim used by the Windows tests under Wine")
set(KV4T_SIM_BUILD_COMMAND "cmake --preset linux && cmake --build --preset linux --target kv4t-sim")
if(WIN32 AND KV4T_TESTS AND NOT EXISTS "${KV4T_SIM_PROGRAM}")
  message(WARNING "The Windows tests against the simulator need the native simulator "
          "${KV4T_SIM_PROGRAM}, which is missing: they fail until it is built. In the source "
          "folder: ${KV4T_SIM_BUILD_COMMAND}")
endif()

# kv4t_need_native_sim(VAR): in VAR, the command that runs a test command only when
# the native simulator is there (tests/need-native-sim) and fails, saying how to
# build it, when it is not.
function(kv4t_need_native_sim var)
  set(${var} ${CMAKE_SOURCE_DIR}/tests/need-native-sim ${KV4T_SIM_PROGRAM}
      "${KV4T_SIM_BUILD_COMMAND}" PARENT_SCOPE)
endfunction()

# kv4t_add_wine_sim_test(NAME PORT COMn TARGET exe [SIM_ARGS ...] [TEST_ARGS ...]):
# a Windows test program run under Wine against the native simulator linked as
# PORT (tests/wine-with-sim); it fails when the native simulator is missing.
function(kv4t_add_wine_sim_test name)
  cmake_parse_arguments(W "" "PORT;TARGET" "SIM_ARGS;TEST_ARGS" ${ARGN})
  kv4t_need_native_sim(need_sim)
  add_test(NAME ${name}
           COMMAND ${need_sim} ${CMAKE_SOURCE_DIR}/tests/wine-with-sim ${CMAKE_BINARY_DIR}
                   ${KV4T_SIM_PROGRAM} ${W_PORT} $<TARGET_FILE:${W_TARGET}> ${W_SIM_ARGS}
                   -- ${W_TEST_ARGS})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK ${KV4T_SIM_TIMING_LOCK})
endfunction()

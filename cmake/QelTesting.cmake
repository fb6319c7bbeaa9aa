# Test helpers shared by every component.
find_package(GTest REQUIRED)

set(QEL_TEST_DIR ${CMAKE_BINARY_DIR}/tests)
set(QEL_TESTDATA_DIR ${CMAKE_SOURCE_DIR}/testdata)
# The documents archive (tools/CMakeLists.txt, target qel_documents_archive): built at
# build time; tests copy it before they change it.
set(QEL_DOCUMENTS_ARCHIVE ${QEL_TEST_DIR}/documents-archive)

# qel_add_gtest(<name> SOURCES <src...> LIBS <lib...>)
# One test program per call, run by CTest from the staged tree.
function(qel_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE
    QEL_TESTDATA_DIR="${QEL_TESTDATA_DIR}"
    QEL_DOCUMENTS_ARCHIVE="${QEL_DOCUMENTS_ARCHIVE}"
    QEL_STAGE_DIR="${QEL_STAGE_DIR}")
  # The test's own code is built without optimisation: its large tables of cases and
  # assertion macros cost twice the compile time at -O2, and what it tests, the
  # libraries, keeps the build type's flags.
  target_compile_options(${name} PRIVATE $<$<CONFIG:RelWithDebInfo,Release,MinSizeRel>:-O0>)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QEL_TEST_DIR})
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# qel_add_fuzzer(<name> SOURCES <src...> LIBS <lib...> CORPUS <dir>)
# Built only with QEL_FUZZ (clang); CTest replays the corpus, then fuzzes briefly.
function(qel_add_fuzzer name)
  cmake_parse_arguments(ARG "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT QEL_FUZZ)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QEL_TEST_DIR}/fuzz)
  set(seconds $ENV{QEL_FUZZ_SECONDS})
  if(NOT seconds)
    set(seconds 10)
  endif()
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${name})
  file(MAKE_DIRECTORY ${work})
  add_test(NAME ${name}_replay COMMAND ${name} -runs=0 ${ARG_CORPUS})
  add_test(NAME ${name}_run COMMAND ${name} -max_total_time=${seconds} -rss_limit_mb=2048 ${work} ${ARG_CORPUS})
  set_tests_properties(${name}_replay ${name}_run PROPERTIES LABELS fuzz)
endfunction()

# Window-tree tests.

add_library(qelwin_test_resources MODULE ${CMAKE_CURRENT_LIST_DIR}/test_resources.cpp)
target_link_libraries(qelwin_test_resources PRIVATE qelwin)
set_target_properties(qelwin_test_resources PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${QEL_TEST_DIR})

qel_add_gtest(qelwin_core_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_tree_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/input_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/dialogs_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/menus_resources_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/popup_menu_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/descriptions_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/scroll_window_test.cpp
  LIBS qelwin)
target_include_directories(qelwin_core_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src)
target_compile_definitions(qelwin_core_tests PRIVATE
  QELWIN_TEST_RESOURCES="$<TARGET_FILE:qelwin_test_resources>")
add_dependencies(qelwin_core_tests qelwin_test_resources)
# Menus and dialogs draw text: fontconfig's process-wide caches are not leaks of ours.
set_tests_properties(qelwin_core_tests PROPERTIES ENVIRONMENT
  "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/testdata/winlayer/lsan.supp:print_suppressions=0")

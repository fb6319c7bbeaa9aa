# Drawing, bitmaps, pictures, printing and the X11 back-end.
set(QELWIN_TEST_SUPPORT ${CMAKE_CURRENT_SOURCE_DIR}/gdi_test_util.cpp)

qel_add_gtest(qelwin_gdi_tests
  SOURCES gdi_draw_test.cpp picture_test.cpp print_test.cpp print_dialog_test.cpp ${QELWIN_TEST_SUPPORT}
  LIBS qelwin qel_platform)
target_include_directories(qelwin_gdi_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../src)
target_link_libraries(qelwin_gdi_tests PRIVATE Cups::Cups)

# Drawing compared with an independent rendering of the same scenes by Pillow.
add_executable(qelwin_scene_render scene_render.cpp ${QELWIN_TEST_SUPPORT})
target_include_directories(qelwin_scene_render PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../src)
target_link_libraries(qelwin_scene_render PRIVATE qelwin qel_platform)
set_target_properties(qelwin_scene_render PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QEL_TEST_DIR})
# The distribution's interpreter is the one that carries python3-pil.
find_program(QELWIN_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(QELWIN_PYTHON NAMES python3)
add_test(NAME qelwin_gdi_pillow
         COMMAND ${QELWIN_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/gdi_pillow_compare.py
                 $<TARGET_FILE:qelwin_scene_render> ${QEL_TESTDATA_DIR}/winlayer/scenes)

# The X11 back-end on a virtual X server (the program is run only through the wrapper).
add_executable(qelwin_x11_tests x11_test.cpp ${QELWIN_TEST_SUPPORT})
target_include_directories(qelwin_x11_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../src)
target_link_libraries(qelwin_x11_tests PRIVATE qelwin qel_platform PkgConfig::X11 GTest::gtest GTest::gtest_main
                      Threads::Threads)
set_target_properties(qelwin_x11_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QEL_TEST_DIR})
add_test(NAME qelwin_x11_tests COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/run_under_xvfb.sh
         $<TARGET_FILE:qelwin_x11_tests>)
set_tests_properties(qelwin_x11_tests PROPERTIES SKIP_RETURN_CODE 77)

# Fontconfig's process-wide caches are not leaks of ours.
set_tests_properties(qelwin_gdi_tests qelwin_gdi_pillow qelwin_x11_tests PROPERTIES ENVIRONMENT
  "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/testdata/winlayer/lsan.supp:print_suppressions=0")

# Drawing, bitmaps, pictures, printing and the X11 back-end.
set(QELWIN_TEST_SUPPORT ${CMAKE_CURRENT_SOURCE_DIR}/gdi_test_util.cpp)
# While the window tree is not in the library, a stand-in gives the few calls the
# drawing side makes into it.
if(NOT QELWIN_CORE_SOURCES)
  list(APPEND QELWIN_TEST_SUPPORT ${CMAKE_CURRENT_SOURCE_DIR}/core_standin.cpp)
endif()

qel_add_gtest(qelwin_gdi_tests
  SOURCES gdi_draw_test.cpp picture_test.cpp print_test.cpp ${QELWIN_TEST_SUPPORT}
  LIBS qelwin qel_platform)
target_include_directories(qelwin_gdi_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/../src)
target_link_libraries(qelwin_gdi_tests PRIVATE Cups::Cups)

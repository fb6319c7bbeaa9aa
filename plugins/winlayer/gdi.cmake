# The drawing side of libqelwin.so: contexts, objects, bitmaps, printing, X11.
list(APPEND QELWIN_GDI_SOURCES
     ${CMAKE_CURRENT_SOURCE_DIR}/src/gdi_objects.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/dc.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/draw.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/bitmap.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/picture.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/printers.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/print_job.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/print_dialog.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/src/x11_backend.cpp)

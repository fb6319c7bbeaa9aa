# The window tree: windows, messages, input, menus, resources, dialogs, controls,
# message boxes, the clipboard and the headless back-end.
list(APPEND QELWIN_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/src/backend_headless.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/clipboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/descriptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/desktop.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/input.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/menus.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/menu_popup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/message_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/messages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/painting.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/resources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/scroll_bars.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/scrolling.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/windows.cpp
)

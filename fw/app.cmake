# The application object, the modal dialog base and the long-path form of
# file paths (Win32).
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WinApp.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/Dialog.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/LongPath.cpp)
endif()

# The application object and the modal dialog base (Win32).
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WinApp.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/Dialog.cpp)
endif()

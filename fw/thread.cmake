# The thread object with its message loop (Win32).
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WinThread.cpp)
endif()

# The worker thread, its job handling and the intake gate (Win32).
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WrkThread.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/IntakeGate.cpp)
endif()

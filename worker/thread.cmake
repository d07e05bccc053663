# The worker thread, its job handling, the intake gate and the hand-over of
# results (Win32).
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WrkThread.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/IntakeGate.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/ResultPost.cpp)
endif()

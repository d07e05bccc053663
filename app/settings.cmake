# The settings file: the window-position rules (portable) and the profile
# reads and writes (Win32).
target_sources(halvok_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WindowPos.cpp)
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp)
endif()

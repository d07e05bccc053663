# The archiver launch: the command-line template (portable) and the process
# start (Win32).
target_sources(halvok_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/CmdTemplate.cpp)
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Archiver.cpp)
endif()

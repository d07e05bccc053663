# The settings file: the window-position rules and the text of a UTF-8 file
# (portable), and the file's reads and writes (Win32).
target_sources(halvok_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/WindowPos.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/IniText.cpp)
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/Settings.cpp)
endif()

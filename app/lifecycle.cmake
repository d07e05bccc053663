# The application object (Win32). Its one instance and WinMain are in
# WinMain.cpp, built into halvok.exe alone (ui/dialog.cmake).
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MainApp.cpp)
endif()

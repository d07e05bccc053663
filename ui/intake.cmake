# Page intake and results display: the portable pieces (command-line split,
# page-extension test, path text, result-line text) in the core, the dialog members in
# the Windows library.
target_sources(halvok_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CmdLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PageExt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PathText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ResultLine.cpp)
# The result texts are Windows-1251 in every build, the native one included.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/ResultLine.cpp
  TARGET_DIRECTORY halvok_core PROPERTIES
  COMPILE_OPTIONS "-finput-charset=UTF-8;-fexec-charset=CP1251")
if(WIN32)
  target_sources(halvok_win PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Intake.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PagePaths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Results.cpp)
endif()

# The main dialog and the About box (Win32), and the program itself:
# halvok.exe, a GUI program built from the entry point, the resources and
# halvok_win.
if(WIN32)
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MainDlg.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/AboutDlg.cpp)
  add_executable(halvok WIN32 ${CMAKE_SOURCE_DIR}/app/WinMain.cpp
                              ${CMAKE_CURRENT_LIST_DIR}/halvok.rc)
  target_link_libraries(halvok PRIVATE halvok_win)
  set_target_properties(halvok PROPERTIES OUTPUT_NAME halvok)
  # The shipped program carries no symbol tables.
  target_link_options(halvok PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
endif()

# The main dialog and the About box (Win32), and the program itself:
# halvok.exe, a GUI program built from the entry point, the resources and
# halvok_win.
if(WIN32)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/halvok.rc PROPERTIES
                              OBJECT_DEPENDS "${HALVOK_RC_DEPENDS}")
  target_sources(halvok_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/MainDlg.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/AboutDlg.cpp)
  if(HALVOK_PROGRAM)
    # The tests run the program that ships, built by the configure for the
    # win32 thread model; this build (posix threads, for GoogleTest) only
    # copies it beside the tests.
    add_custom_command(OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/halvok.exe
                       COMMAND ${CMAKE_COMMAND} -E copy ${HALVOK_PROGRAM}
                               ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/halvok.exe
                       DEPENDS ${HALVOK_PROGRAM})
    add_custom_target(halvok ALL DEPENDS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/halvok.exe)
  else()
    add_executable(halvok WIN32 ${CMAKE_SOURCE_DIR}/app/WinMain.cpp
                                ${CMAKE_CURRENT_LIST_DIR}/halvok.rc)
    target_link_libraries(halvok PRIVATE halvok_win)
    set_target_properties(halvok PROPERTIES OUTPUT_NAME halvok)
    # The shipped program carries no symbol tables.
    target_link_options(halvok PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
  endif()
endif()

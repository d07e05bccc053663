# halvok-run.exe and its hook halvok-lines.dll (Win32): run halvok.exe from a
# terminal and print its result lines. Built with the program, beside it.
if(WIN32)
  add_executable(halvok-run ${CMAKE_CURRENT_LIST_DIR}/halvok-run.cpp)
  target_link_libraries(halvok-run PRIVATE halvok_win)
  add_library(halvok-lines SHARED ${CMAKE_CURRENT_LIST_DIR}/halvok-lines.cpp)
  set_target_properties(halvok-lines PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY
                        ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  target_link_libraries(halvok-lines PRIVATE user32)
  # The hook is exported by its plain name, without the stdcall decoration.
  target_link_options(halvok-lines PRIVATE -Wl,--kill-at)
  target_link_options(halvok-run PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
  target_link_options(halvok-lines PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
endif()

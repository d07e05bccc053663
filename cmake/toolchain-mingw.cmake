# Cross build for Windows with mingw-w64. HALVOK_WIN_ARCH picks the target:
# i686 (the shipped 32-bit program, default) or x86_64 (the same sources,
# for trying the code 64-bit clean).
# HALVOK_WIN_THREADS picks the compilers' thread model: win32 for the program
# that ships (no winpthread, so nothing newer than the oldest Windows it
# claims is imported), posix for the tests (GoogleTest needs std::mutex).
set(HALVOK_WIN_ARCH "i686" CACHE STRING "i686 or x86_64")
set(HALVOK_WIN_THREADS "win32" CACHE STRING "win32 (the shipped program) or posix (tests)")
set(CMAKE_SYSTEM_NAME Windows)
if(HALVOK_WIN_ARCH STREQUAL "x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()
set(_triple ${HALVOK_WIN_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-${HALVOK_WIN_THREADS})
set(CMAKE_CXX_COMPILER ${_triple}-g++-${HALVOK_WIN_THREADS})
set(CMAKE_RC_COMPILER ${_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Tests and test discovery run through Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)

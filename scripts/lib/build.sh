# The build of the shipped Windows program, shared by the entry points.
# Source it after setting ROOT; halvok_build_program [TARGET...] configures
# build/win-i686 once (i686, win32 thread model, Release, benchmarks
# included, no tests) and builds the targets given (everything by default).
HALVOK_PROGRAM_BUILD="$ROOT/build/win-i686"

halvok_build_program() {
  if [ ! -f "$HALVOK_PROGRAM_BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$HALVOK_PROGRAM_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw.cmake" \
      -DHALVOK_TESTS=OFF -DHALVOK_BENCH=ON >/dev/null || return 1
  fi
  local t=()
  for x in "$@"; do t+=(--target "$x"); done
  cmake --build "$HALVOK_PROGRAM_BUILD" -j"$(nproc)" "${t[@]}"
}

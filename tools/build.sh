# Build helpers shared by the demo and the test commands (sourced from the
# repository's top folder).

# build DIR CMAKE-ARGS...: configures and builds one tree (only
# $BUILD_TARGET when that is set), quietly; on failure shows the end of its
# log.
build() {
  local dir=$1; shift
  mkdir -p build/logs
  local log="build/logs/build-$(basename "$dir").log"
  if ! { cmake -S . -B "$dir" "$@" && cmake --build "$dir" -j"$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}; } >"$log" 2>&1; then
    tail -n 30 "$log"
    echo "build of $dir failed (whole log: $log)"
    return 1
  fi
}

# The 32-bit edition in build/win32 (or DIR, configured with the further
# CMAKE-ARGS), with the codec libraries it needs:
#   build_windows [DIR [CMAKE-ARGS...]]
build_windows() {
  local dir=${1:-build/win32}; shift $(($# > 0 ? 1 : 0))
  bash cmake/build-deps-mingw.sh build/deps || return 1
  build "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DZEL_DEPS_PREFIX="$PWD/build/deps/i686" "$@"
}

# The 64-bit edition in build/win64 (engine zelov64.dll), for 64-bit hosts;
# the same arguments.
build_windows64() {
  local dir=${1:-build/win64}; shift $(($# > 0 ? 1 : 0))
  bash cmake/build-deps-mingw.sh build/deps x86_64 || return 1
  build "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DZEL_DEPS_PREFIX="$PWD/build/deps/x86_64" "$@"
}

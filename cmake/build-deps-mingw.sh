#!/usr/bin/env bash
# Builds libogg and libvorbis as static libraries for i686-w64-mingw32 from
# Debian's source packages. The result is cached in the given build folder:
#   cmake/build-deps-mingw.sh build/deps
# leaves headers and libraries under build/deps/i686.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
prefix="$out/i686"
[ -f "$prefix/lib/libvorbisfile.a" ] && [ -f "$prefix/lib/libogg.a" ] && exit 0

mkdir -p "$out/src"
cd "$out/src"
for pkg in libogg libvorbis; do
  ls -d "$pkg"-*/ >/dev/null 2>&1 || apt-get source -qq "$pkg" >/dev/null 2>&1
done

build() {
  local src=$1 log="$out/build-$(basename "$1").log"
  {
  cmake -S "$src" -B "$out/build-$(basename "$src")" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
    -DINSTALL_DOCS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_POLICY_DEFAULT_CMP0074=NEW &&
  cmake --build "$out/build-$(basename "$src")" -j"$(nproc)" &&
  cmake --install "$out/build-$(basename "$src")"
  } >"$log" 2>&1 || { tail -n 30 "$log"; echo "building $(basename "$src") failed"; exit 1; }
}
build "$(ls -d "$out"/src/libogg-*/ | head -n1)"
build "$(ls -d "$out"/src/libvorbis-*/ | head -n1)"

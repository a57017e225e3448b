#!/usr/bin/env bash
# Builds libogg and libvorbis as static libraries for mingw-w64 from
# Debian's source packages. The result is cached in the given build folder:
#   cmake/build-deps-mingw.sh build/deps [i686|x86_64]
# leaves headers and libraries under build/deps/ARCH (i686 by default).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
arch=${2:-i686}
prefix="$out/$arch"
[ -f "$prefix/lib/libvorbisfile.a" ] && [ -f "$prefix/lib/libogg.a" ] && exit 0

mkdir -p "$out/src"
cd "$out/src"
for pkg in libogg libvorbis; do
  ls -d "$pkg"-*/ >/dev/null 2>&1 || apt-get source -qq "$pkg" >/dev/null 2>&1
done

build() {
  local src=$1 log="$out/build-$arch-$(basename "$1").log" tree="$out/build-$arch-$(basename "$1")"
  {
  cmake -S "$src" -B "$tree" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
    -DINSTALL_DOCS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_POLICY_DEFAULT_CMP0074=NEW &&
  cmake --build "$tree" -j"$(nproc)" &&
  cmake --install "$tree"
  } >"$log" 2>&1 || { tail -n 30 "$log"; echo "building $(basename "$src") failed"; exit 1; }
}
build "$(ls -d "$out"/src/libogg-*/ | head -n1)"
build "$(ls -d "$out"/src/libvorbis-*/ | head -n1)"

#!/usr/bin/env bash
# Builds libogg, libvorbis, libopus, libopusfile, libspeexdsp, libFLAC and
# kissfft as static libraries for
# mingw-w64 from Debian's source packages. The result is cached in the given build folder:
#   cmake/build-deps-mingw.sh build/deps [i686|x86_64]
# leaves headers and libraries under build/deps/ARCH (i686 by default).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
arch=${2:-i686}
prefix="$out/$arch"
[ -f "$prefix/lib/libvorbisfile.a" ] && [ -f "$prefix/lib/libogg.a" ] && [ -f "$prefix/lib/libopusfile.a" ] &&
  [ -f "$prefix/lib/libspeexdsp.a" ] && [ -f "$prefix/lib/libFLAC.a" ] && [ -f "$prefix/lib/libkissfft.a" ] && exit 0

mkdir -p "$out/src"
cd "$out/src"
for pkg in libogg libvorbis opus opusfile speexdsp flac kissfft; do
  ls -d "$pkg"-[0-9]*/ >/dev/null 2>&1 || apt-get source -qq "$pkg" >/dev/null 2>&1
done

build() {
  local src=$1; shift
  local log="$out/build-$arch-$(basename "$src").log" tree="$out/build-$arch-$(basename "$src")"
  {
  cmake -S "$src" -B "$tree" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF \
    -DINSTALL_DOCS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_POLICY_DEFAULT_CMP0074=NEW "$@" &&
  cmake --build "$tree" -j"$(nproc)" &&
  cmake --install "$tree"
  } >"$log" 2>&1 || { tail -n 30 "$log"; echo "building $(basename "$src") failed"; exit 1; }
}
# A cache from before libspeexdsp was needed keeps its codec libraries.
codecs_built=0
[ -f "$prefix/lib/libvorbisfile.a" ] && [ -f "$prefix/lib/libogg.a" ] && [ -f "$prefix/lib/libopusfile.a" ] && codecs_built=1
if [ "$codecs_built" = 0 ]; then
build "$(ls -d "$out"/src/libogg-[0-9]*/ | head -n1)"
build "$(ls -d "$out"/src/libvorbis-[0-9]*/ | head -n1)"
fi
# The 32-bit code does its float arithmetic in SSE2, as the toolchain file
# has CMake do: x87 code would round by the precision of the thread it runs
# on (the C runtime sets its main thread's), so the same packet could decode
# to other samples on the engine's worker than elsewhere.
archflags="-O2"
[ "$arch" = i686 ] && archflags="-O2 -msse2 -mfpmath=sse"

if [ "$codecs_built" = 0 ]; then
# libopus's release lacks a file its CMake build includes: its own
# configure script builds it, without the fortified string functions, which
# would need mingw's libssp beside the engine.
opus=$(ls -d "$out"/src/opus-[0-9]*/ | head -n1)
tree="$out/build-$arch-opus"
mkdir -p "$tree"
(cd "$tree" && "$opus/configure" --host="$arch-w64-mingw32" --prefix="$prefix" --enable-static --disable-shared \
   --disable-doc --disable-extra-programs --disable-stack-protector CPPFLAGS=-D_FORTIFY_SOURCE=0 CFLAGS="$archflags" && make -j"$(nproc)" && make install) \
  >"$out/build-$arch-opus.log" 2>&1 || { tail -n 30 "$out/build-$arch-opus.log"; echo "building opus failed"; exit 1; }

# libopusfile has no CMake build: its four sources (without the HTTP
# support, which the engine does not use) compiled straight into the
# archive.
opusfile=$(ls -d "$out"/src/opusfile-[0-9]*/ | head -n1)
objects="$out/build-$arch-opusfile"
mkdir -p "$objects" "$prefix/include/opus"
for source in info internal opusfile stream; do
  "$arch-w64-mingw32-gcc" $archflags -w -I"$opusfile/include" -I"$prefix/include" -I"$prefix/include/opus" \
    -c "$opusfile/src/$source.c" -o "$objects/$source.o" || { echo "building opusfile failed"; exit 1; }
done
"$arch-w64-mingw32-ar" rcs "$prefix/lib/libopusfile.a" "$objects"/*.o
cp "$opusfile/include/opusfile.h" "$prefix/include/opus/"
fi


# libspeexdsp's resampler, for the mixer's sounds whose rate differs from
# their sound card's: its own configure script, in float, with SSE where the
# target has it (both Windows targets here).
if [ ! -f "$prefix/lib/libspeexdsp.a" ]; then
speexdsp=$(ls -d "$out"/src/speexdsp-[0-9]*/ | head -n1)
tree="$out/build-$arch-speexdsp"
mkdir -p "$tree"
(cd "$tree" && "$speexdsp/configure" --host="$arch-w64-mingw32" --prefix="$prefix" --enable-static --disable-shared \
   --disable-examples --enable-sse CFLAGS="$archflags" && make -j"$(nproc)" && make install) \
  >"$out/build-$arch-speexdsp.log" 2>&1 || { tail -n 30 "$out/build-$arch-speexdsp.log"; echo "building speexdsp failed"; exit 1; }
fi

# libFLAC, native FLAC and Ogg FLAC, without its programs and its C++
# library; without the fortified functions and the stack protector, for
# the same reason as libopus.
[ -f "$prefix/lib/libFLAC.a" ] ||
build "$(ls -d "$out"/src/flac-[0-9]*/ | head -n1)" -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_FORTIFY_SOURCE=OFF \
  -DWITH_STACK_PROTECTOR=OFF -DWITH_OGG=ON -DINSTALL_CMAKE_CONFIG_MODULE=OFF -DINSTALL_PKGCONFIG_MODULES=OFF

# kissfft, for the mixer's spectrum: its complex and real transforms in
# float, compiled straight into the archive (its CMake build makes a shared
# library; without KISS_FFT_SHARED its functions are not a DLL's).
if [ ! -f "$prefix/lib/libkissfft.a" ]; then
  kissfft=$(ls -d "$out"/src/kissfft-[0-9]*/ | head -n1)
  objects="$out/build-$arch-kissfft"
  mkdir -p "$objects" "$prefix/include/kissfft"
  for source in kiss_fft kiss_fftr; do
    "$arch-w64-mingw32-gcc" $archflags -w -Dkiss_fft_scalar=float -c "$kissfft/$source.c" -o "$objects/$source.o" ||
      { echo "building kissfft failed"; exit 1; }
  done
  "$arch-w64-mingw32-ar" rcs "$prefix/lib/libkissfft.a" "$objects"/*.o
  cp "$kissfft/kiss_fft.h" "$kissfft/kiss_fftr.h" "$prefix/include/kissfft/"
fi

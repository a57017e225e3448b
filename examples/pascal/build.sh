#!/usr/bin/env bash
# Builds the Object Pascal example with Free Pascal for one edition:
#   examples/pascal/build.sh win32|win64 OUT-DIR
# writes OUT-DIR/zelplay.exe (i386-win32 or x86_64-win64). Debian ships no
# Windows units, so the run-time library and the units the example uses
# (Windows, ActiveX, ComObj, Variants, SysUtils) are compiled from Debian's
# Free Pascal sources into OUT-DIR/units: the system unit first, the rest
# as the compiler meets them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
edition=$1
out=$(mkdir -p "$2" && cd "$2" && pwd)
src=$(ls -d /usr/share/fpcsrc/*/ | sort -V | tail -n1)
rtl=$src/rtl packages=$src/packages
# The 64-bit compiler is the machine's (setup-debian.sh installs it). The
# 32-bit one is Debian's i386 package unpacked into the build folder, never
# installed: installing it would replace the machine's amd64 binutils, and
# with them the native compilers.
if [ "$edition" = win32 ]; then
  target=(-Twin32 -Pi386 -XPi686-w64-mingw32-) cpu=i386 os=win32
  version=$(basename "$src")
  unpacked=$(cd "$here/../.." && pwd)/build/fpc-i386
  compiler=$unpacked/usr/lib/i386-linux-gnu/fpc/$version/ppc386
  if [ ! -x "$compiler" ]; then
    rm -rf "$unpacked" && mkdir -p "$unpacked"
    (cd "$unpacked" && apt-get download -o APT::Sandbox::User=root "fp-compiler-$version:i386" >/dev/null 2>&1 &&
       dpkg -x fp-compiler-"$version"_*_i386.deb .) || { echo "cannot unpack Free Pascal's i386 compiler"; exit 1; }
  fi
else
  compiler=ppcx64 target=(-Twin64 -Px86_64 -XPx86_64-w64-mingw32-) cpu=x86_64 os=win64
fi
units=$out/units
mkdir -p "$units"
paths=(-FU"$units" -Fu"$units")
for dir in "$rtl/inc" "$rtl/$cpu" "$rtl/win" "$rtl/$os" "$rtl/win/wininc" "$rtl/win/sysutils" \
           "$rtl/objpas" "$rtl/objpas/sysutils" "$rtl/objpas/classes" \
           "$packages/winunits-base/src" "$packages/rtl-objpas/src/win" "$packages/rtl-objpas/src/inc" \
           "$packages/rtl-extra/src/win" "$packages/rtl-extra/src/inc" \
           "$packages/fcl-registry/src" "$packages/fcl-base/src"; do
  paths+=(-Fu"$dir" -Fi"$dir")
done
log=$out/build.log
{
  [ -f "$units/system.ppu" ] || "$compiler" "${target[@]}" -n -Us -Sg "${paths[@]}" "$rtl/$os/system.pp"
  "$compiler" "${target[@]}" -n -O2 "${paths[@]}" -FE"$out" "$here/zelplay.pas"
} > "$log" 2>&1 || { tail -n 20 "$log"; echo "building the Pascal example failed (whole log: $log)"; exit 1; }

#!/usr/bin/env bash
# Writes the release package OUT/zeloggplay-VERSION.zip from the built
# editions (build/win32, build/win64) and the codec sources in build/deps:
#   tools/package.sh OUT
# It holds each edition's control library with its engine beside it (which
# the control loads from there), its registration scripts, its side-by-side
# manifests and its second type library (which the manifest names), the SDK
# (IDL, type libraries, C/C++ headers), the examples, the control's reference, the change log, the licence, the
# codec libraries' notices (both editions carry libogg, libvorbis, libopus,
# libopusfile, libspeexdsp, libFLAC and kissfft inside them) and SHA256SUMS. The same sources give the
# same bytes: the libraries carry no time stamps, and the archive's entries
# are sorted, with fixed times and permissions.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
cd "$root"
version=$(head -n1 VERSION)
stage=$out/zeloggplay-$version
rm -rf "$stage" "$out/zeloggplay-$version.zip"
mkdir -p "$stage/docs" "$stage/sdk/x86" "$stage/sdk/x64" "$stage/examples"
# The editions' build folders are build/win32 and build/win64, or those
# under ZEL_PACKAGE_BUILDS.
builds=${ZEL_PACKAGE_BUILDS:-build}
for edition in x86:win32 x64:win64; do
  folder=${edition%%:*} build=$builds/${edition#*:}
  mkdir -p "$stage/$folder"
  cp "$build/zeloggplays100.ocx" "$build"/package/register.cmd "$build"/package/unregister.cmd \
     "$build"/package/ZelSoftware.ZelOggPlay.manifest "$build"/package/program.exe.manifest \
     "$build"/ZelOggPlayerEx.tlb "$build"/zelov*.dll "$stage/$folder/"
  cp "$build"/ZelOggPlayer100.tlb "$build"/ZelOggPlayerEx.tlb "$stage/sdk/$folder/"
done
# The headers are the same for both editions.
cp control/ZelOggPlayer100.idl control/ZelOggPlayerEx.idl control/dispids.h \
   "$builds"/win32/ZelOggPlayer100.h "$builds"/win32/ZelOggPlayerEx.h "$stage/sdk/"
# The examples as a user takes them (the Pascal one's Debian build script
# stays here). VB's files go with Windows line ends whatever the checkout
# has: the VBA editor's File > Import and VB6 read their headers by CR LF.
(cd examples && find . -type f ! -name build.sh | LC_ALL=C sort | while read -r file; do
   mkdir -p "$stage/examples/$(dirname "$file")"
   case "$file" in
     *.bas|*.cls|*.frm|*.vbp) sed 's/\r$//; s/$/\r/' "$file" > "$stage/examples/$file" ;;
     *) cp "$file" "$stage/examples/$file" ;;
   esac
 done)
cp LICENSE CHANGELOG.md "$stage/"
cp docs/face.png docs/about.png "$stage/docs/"

# The reference: the README's quick start and its part on the control,
# its editions, events, errors, registration and use.
{
  echo "# ZelOggPlay $version"
  echo
  awk '/^## / { keep = /^## (Quick start|The control, `ZelOggPlay`)/ } keep' README.md
} > "$stage/REFERENCE.md"

# The notices, from the source packages the libraries were built from.
{
  echo "zeloggplays100.ocx (both editions) contains libogg, libvorbis, libopus,"
  echo "libopusfile, libspeexdsp, libFLAC and kissfft, built from Debian's source"
  echo "packages named below."
  echo "Their licences ask that these notices go with every binary"
  echo "distribution."
  for src in build/deps/src/libogg-[0-9]*/ build/deps/src/libvorbis-[0-9]*/ build/deps/src/opus-[0-9]*/ \
             build/deps/src/opusfile-[0-9]*/ build/deps/src/speexdsp-[0-9]*/ build/deps/src/flac-[0-9]*/ \
             build/deps/src/kissfft-[0-9]*/; do
    name=$(basename "$src")
    package=$(ls build/deps/src/"${name%-*}"_*.dsc | head -n1)
    echo
    echo "======================================================================"
    echo "$name (Debian source package $(basename "$package" .dsc))"
    echo "======================================================================"
    echo
    # libFLAC's licence is the Xiph one (the FLAC programs, not built here,
    # are under the GPL).
    # kissfft's names its licence's text in a file of its own.
    if [ -f "$src/COPYING.Xiph" ]; then cat "$src/COPYING.Xiph"; else cat "$src/COPYING"; fi
    if [ -f "$src/LICENSES/BSD-3-Clause" ]; then echo; cat "$src/LICENSES/BSD-3-Clause"; fi
  done
} > "$stage/THIRD-PARTY-NOTICES.txt"

(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)

python3 - "$stage" "$out/zeloggplay-$version.zip" <<'PY'
import os, sys, zipfile
stage, target = sys.argv[1], sys.argv[2]
top = os.path.basename(stage)
names = []
for folder, _, files in os.walk(stage):
    for f in files:
        names.append(os.path.relpath(os.path.join(folder, f), stage))
with zipfile.ZipFile(target, "w") as archive:
    for name in sorted(names):
        entry = zipfile.ZipInfo(top + "/" + name.replace(os.sep, "/"), date_time=(2026, 1, 1, 0, 0, 0))
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = 0o644 << 16
        entry.create_system = 3
        with open(os.path.join(stage, name), "rb") as f:
            archive.writestr(entry, f.read(), compresslevel=9)
PY
echo "release: $out/zeloggplay-$version.zip"
sha256sum "$out/zeloggplay-$version.zip"

#!/usr/bin/env bash
# Builds both editions and writes the release package
# build/release/zeloggplay-1.0.0.zip: the 32-bit and the 64-bit control
# library, a registration-free manifest for each, the control's reference,
# the licence, the codec libraries' notices (both editions carry libogg,
# libvorbis, libopus and libopusfile inside them) and SHA256SUMS. The same sources give the same
# bytes: the libraries carry no time stamps, and the archive's entries are
# sorted, with fixed times and permissions.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh
. tools/build.sh
build_windows
build_windows64

version=1.0.0
out=build/release
stage=$out/zeloggplay-$version
rm -rf "$stage" "$out/zeloggplay-$version.zip"
mkdir -p "$stage/x86" "$stage/x64" "$stage/docs"
cp build/win32/zeloggplays100.ocx resources/manifest/x86/zelplay.exe.manifest "$stage/x86/"
cp build/win64/zeloggplays100.ocx resources/manifest/x64/zelplay.exe.manifest "$stage/x64/"
cp LICENSE "$stage/"
cp docs/face.png docs/about.png "$stage/docs/"

# The reference: what the README says of the control, its editions, events,
# errors, registration and use.
awk '/^## The control, `ZelOggPlay`/ { keep = 1 } /^## The engine/ { keep = 0 } keep' README.md \
  > "$stage/REFERENCE.md"

# The notices, from the source packages the libraries were built from.
{
  echo "zeloggplays100.ocx (both editions) contains libogg, libvorbis, libopus"
  echo "and libopusfile, built from Debian's source packages named below."
  echo "Their licences ask that these notices go with every binary"
  echo "distribution."
  for src in build/deps/src/libogg-[0-9]*/ build/deps/src/libvorbis-[0-9]*/ build/deps/src/opus-[0-9]*/ \
             build/deps/src/opusfile-[0-9]*/; do
    name=$(basename "$src")
    package=$(ls build/deps/src/"${name%-*}"_*.dsc | head -n1)
    echo
    echo "======================================================================"
    echo "$name (Debian source package $(basename "$package" .dsc))"
    echo "======================================================================"
    echo
    cat "$src/COPYING"
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

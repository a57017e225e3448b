#!/usr/bin/env bash
# The release package, made twice from the built editions: the same bytes
# both times, everything a user needs in it, and a reference that names no
# file the package lacks and says nothing of how the project is tested.
#   tests/release/check_release.sh
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
run=$(mktemp -d /tmp/zelrelease.XXXXXX)
trap 'rm -rf "$run"' EXIT
passed=0 failed=0
check() {  # check NAME CONDITION
  if eval "$2"; then echo "ok $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi
}
version=$(head -n1 VERSION)
zip=zeloggplay-$version.zip
bash tools/package.sh "$run/first" > /dev/null || { echo "FAIL the package could not be made"; exit 1; }
sleep 1  # a time stamp that leaked into the archive would now differ
bash tools/package.sh "$run/second" > /dev/null
check "two packagings give the same bytes" 'cmp -s "$run/first/$zip" "$run/second/$zip"'
python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$run/first/$zip" |
  sed "s|^zeloggplay-$version/||" > "$run/names.txt"
missing=""
for name in LICENSE CHANGELOG.md REFERENCE.md THIRD-PARTY-NOTICES.txt SHA256SUMS docs/face.png \
            sdk/ZelOggPlayer100.idl sdk/ZelOggPlayerEx.idl sdk/dispids.h sdk/ZelOggPlayer100.h sdk/ZelOggPlayerEx.h \
            examples/cpp/play.cpp examples/vbscript/play.vbs examples/dotnet/Play.csproj \
            examples/vb6/OggPlayer.vbp examples/vb6/PlayerForm.frm; do
  grep -qx "$name" "$run/names.txt" || missing="$missing $name"
done
for edition in x86 x64; do
  engine=zelov.dll; [ "$edition" = x64 ] && engine=zelov64.dll
  for name in zeloggplays100.ocx "$engine" ZelOggPlayerEx.tlb register.cmd unregister.cmd \
              ZelSoftware.ZelOggPlay.manifest program.exe.manifest; do
    grep -qx "$edition/$name" "$run/names.txt" || missing="$missing $edition/$name"
  done
  for name in ZelOggPlayer100.tlb ZelOggPlayerEx.tlb; do
    grep -qx "sdk/$edition/$name" "$run/names.txt" || missing="$missing sdk/$edition/$name"
  done
done
check "the package holds both editions with their scripts and manifests, the SDK, the examples and the documents${missing:+ (missing:$missing)}" \
  '[ -z "$missing" ]'
check "each edition's manifest names its own processor architecture" \
  'grep -q "processorArchitecture=\"x86\"" "$run/first/zeloggplay-$version/x86/ZelSoftware.ZelOggPlay.manifest" &&
   grep -q "processorArchitecture=\"amd64\"" "$run/first/zeloggplay-$version/x64/ZelSoftware.ZelOggPlay.manifest"'
unix=$(cat "$run/first/zeloggplay-$version"/x*/*.cmd | grep -c $'[^\r]$')
check "the scripts have Windows line ends, which cmd's labels need" '[ "$unix" = 0 ]'
vbfiles=$(find "$run/first/zeloggplay-$version/examples" -name '*.bas' -o -name '*.cls' -o -name '*.frm' -o -name '*.vbp')
unix=$(cat $vbfiles | grep -c $'[^\r]$')
check "VB's files ($(echo $vbfiles | wc -w)) have Windows line ends, which the VBA editor's import and VB6 need" \
  '[ -n "$vbfiles" ] && [ "$unix" = 0 ]'
carried() {  # carried FOLDER ENGINE OUT: the engine FOLDER's control carries, to OUT, is the one beside it
  python3 tests/pe/peresources.py "$1/zeloggplays100.ocx" 10 1 > "$3" && cmp -s "$3" "$1/$2"
}
unsigned=$run/first/zeloggplay-$version
check "each edition's engine beside its control is byte for byte the one the control carries" \
  'carried "$unsigned/x86" zelov.dll "$run/carried.dll" && carried "$unsigned/x64" zelov64.dll "$run/carried.dll"'
# Files the reference names: its links and the paths in its code spans
# that look like files of the package (a folder and a name with a type).
reference="$run/first/zeloggplay-$version/REFERENCE.md"
grep -oE '\]\([^)#]+\)|`[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)+\.[a-z]+`' "$reference" |
  sed -E 's/^\]\(//; s/\)$//; s/`//g' | sort -u > "$run/named.txt"
absent=$(while read -r name; do grep -qx "$name" "$run/names.txt" || echo "$name"; done < "$run/named.txt" | paste -sd' ')
check "REFERENCE.md names only files the package holds ($(wc -l < "$run/named.txt") named${absent:+; absent: $absent})" \
  '[ -z "$absent" ]'
notes=$(grep -n -i -E '\btests?\b|\btested\b|Debian|build/|tools/' "$reference" | head -n3)
check "REFERENCE.md carries no notes on how the project is built or tested${notes:+: $notes}" '[ -z "$notes" ]'
# Signing, with a throwaway certificate made here: the engine the control
# carries and the control library each carry a signature by it, and the
# engine beside each control is that signed engine.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ZelOggPlay test signer" \
  -keyout "$run/signer.key" -out "$run/signer.crt" > /dev/null 2>&1
echo "throwaway" > "$run/password"
openssl pkcs12 -export -inkey "$run/signer.key" -in "$run/signer.crt" -passout "file:$run/password" \
  -out "$run/signer.p12" > /dev/null 2>&1
if bash tools/release.sh --sign "$run/signer.p12" "$run/password" > "$run/signed.log" 2>&1; then
  signed=build/release-signed/zeloggplay-$version
  verify() { osslsigncode verify -CAfile "$run/signer.crt" -in "$1" > "$run/verify.log" 2>&1; }
  check "the signed release's control libraries are signed by the certificate" \
    'verify "$signed/x86/zeloggplays100.ocx" && verify "$signed/x64/zeloggplays100.ocx"'
  engines() {  # the engine each control carries, and the one beside it, verify
    carried "$signed/x86" zelov.dll "$run/carried32.dll" && carried "$signed/x64" zelov64.dll "$run/carried64.dll" &&
      verify "$run/carried32.dll" && verify "$run/carried64.dll"
  }
  check "the engine was signed before the control embedded it, and the one beside it is the same" engines
  check "an unsigned release's control library carries no signature" \
    '! osslsigncode verify -CAfile "$run/signer.crt" -in "$unsigned/x64/zeloggplays100.ocx" > /dev/null 2>&1'
else
  failed=$((failed + 1)); echo "FAIL the signed release could not be made"; tail -n 20 "$run/signed.log"
fi
echo "release: $passed passed, $failed failed"
[ "$failed" = 0 ]

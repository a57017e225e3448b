#!/usr/bin/env bash
# Checks a shipped control library as Windows and development tools will
# see it: a GUI-subsystem DLL of its edition with the five COM server
# exports and nothing else, system imports only, and its resources: the
# engine of its edition byte for byte, the type library, the two pictures
# and the version record. The edition goes by the engine's name:
#   tests/pe/check_ocx.sh path/to/zeloggplays100.ocx path/to/zelov.dll
#   tests/pe/check_ocx.sh path/to/zeloggplays100.ocx path/to/zelov64.dll
set -u
ocx=$1 engine=$2
here=$(dirname "$0")
if [ "$(basename "$engine")" = zelov64.dll ]; then
  objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 bits=64 syskind=3  # SYS_WIN64
else
  objdump=i686-w64-mingw32-objdump format=pei-i386 bits=32 syskind=1      # SYS_WIN32
fi
failed=0 passed=0
check() { if eval "$2"; then echo "ok $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi; }
resource() { python3 "$here/peresources.py" "$ocx" "$1" "$2"; }
# The little-endian number of $3 bytes at offset $2 of resource $1.
number() { resource $1 | od -An -t u$3 -j $2 -N $3 | tr -d ' '; }

headers=$($objdump -p "$ocx")
check "$bits-bit PE DLL, GUI subsystem" \
  '[[ $($objdump -f "$ocx") == *"$format"* && "$headers" == *"Characteristics"*"DLL"* ]] && grep -q "^Subsystem.*(Windows GUI)" <<<"$headers"'
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | awk '/\[/ {print $NF}' | tail -n +2 | sort | tr '\n' ' ')
check "exports exactly the COM server entries ($exports)" \
  '[ "$exports" = "DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer " ]'

imports=$(grep "DLL Name:" <<<"$headers" | awk "{print toupper(\$3)}" | sort -u)
allowed="KERNEL32.DLL MSVCRT.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL"
extra=""
for d in $imports; do [[ " $allowed " == *" $d "* ]] || extra="$extra $d"; done
check "imports only system DLLs" '[ -z "$extra" ]'

listing=$(python3 "$here/peresources.py" "$ocx")
check "engine is data resource 10/1, language 1033" 'grep -qx "10 1 1033 [0-9]*" <<<"$listing"'
check "engine resource equals $(basename "$engine") byte for byte" 'resource 10 1 | cmp -s - "$engine"'
check "type library is resource 1" 'grep -qx "TYPELIB 1 1033 [0-9]*" <<<"$listing"'
check "type library: MSFT, LCID 0x0409, version 23.0, made for the edition" \
  '[ "$(resource TYPELIB 1 | head -c 4)" = MSFT ] && [ "$(number "TYPELIB 1" 12 4)" = 1033 ] && [ "$(number "TYPELIB 1" 24 4)" = 23 ] && [ $(( $(number "TYPELIB 1" 20 4) & 0xf )) = $syskind ]'
# The version is a word each, major then minor: 1.2 reads 0x00020001.
check "the second type library is resource 2: MSFT, LCID 0x0409, version 1.2, made for the edition" \
  '[ "$(resource TYPELIB 2 | head -c 4)" = MSFT ] && [ "$(number "TYPELIB 2" 12 4)" = 1033 ] && [ "$(number "TYPELIB 2" 24 4)" = 131073 ] && [ $(( $(number "TYPELIB 2" 20 4) & 0xf )) = $syskind ]'
check "toolbox bitmap 30000" 'grep -qx "2 30000 1033 [0-9]*" <<<"$listing"'
check "picture is 39 by 37 pixels, 24-bit" \
  '[ "$(number "2 101" 4 4) $(number "2 101" 8 4) $(number "2 101" 14 2)" = "39 37 24" ]'
title=$(printf 'Zel OGG Vorbis Player OCX 1.0.0' | iconv -f ascii -t utf-16le | od -An -tx1 | tr -d ' \n')
check "version record names the product" '[[ $(resource 16 1 | od -An -tx1 | tr -d " \n") == *"$title"* ]]'
copyright=$(printf 'Zel Software. BSD-3-Clause' | iconv -f ascii -t utf-16le | od -An -tx1 | tr -d ' \n')
check "version record carries the copyright" '[[ $(resource 16 1 | od -An -tx1 | tr -d " \n") == *"$copyright"* ]]'

echo "ocx: $passed passed, $failed failed"
[ "$failed" = 0 ]

#!/usr/bin/env bash
# Checks a shipped engine library as a Windows loader will see it: one
# export, interface1, ordinal 1, with the calling convention of its
# edition; the export directory names the file; a GUI-subsystem DLL that
# imports only Windows' own DLLs. The edition goes by the file's name:
#   tests/pe/check_pe.sh path/to/zelov.dll       (32-bit)
#   tests/pe/check_pe.sh path/to/zelov64.dll     (64-bit)
set -u
dll=$1
name=$(basename "$dll")
if [ "$name" = zelov64.dll ]; then
  objdump=x86_64-w64-mingw32-objdump format=pei-x86-64 bits=64
else
  objdump=i686-w64-mingw32-objdump format=pei-i386 bits=32
fi
failed=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi; }

headers=$($objdump -p "$dll")
check "$bits-bit PE" '[[ $($objdump -f "$dll") == *"$format"* ]]'
check "GUI subsystem" 'grep -q "^Subsystem.*(Windows GUI)" <<<"$headers"'
check "one export" '[[ $(sed -n "/^Export Address Table -- /,/^$/p" <<<"$headers" | grep -c "+base") == 1 ]]'
check "interface1 by name" 'grep -q "^\s*\[ *0\] interface1$" <<<"$headers"'
check "ordinal 1" 'grep -q "\[   0\] +base\[   1\]" <<<"$headers"'
check "export directory names $name" '[[ $(grep -m1 "^Name " <<<"$headers") == *" $name" ]]'

imports=$(grep "DLL Name:" <<<"$headers" | awk "{print toupper(\$3)}" | sort -u)
# OLE32 for the sound cards (WASAPI's objects come through COM), WINHTTP
# for files and streams on web servers.
allowed="KERNEL32.DLL MSVCRT.DLL WINMM.DLL OLE32.DLL USER32.DLL ADVAPI32.DLL WINHTTP.DLL"
extra=""
for d in $imports; do [[ " $allowed " == *" $d "* ]] || extra="$extra $d"; done
check "imports only system DLLs (${imports//$'\n'/ })" '[ -z "$extra" ]'

base=$(awk '/ImageBase/ {print $2}' <<<"$headers")
rva=$(grep -m1 "+base\[   1\]" <<<"$headers" | sed 's/.*\] //' | awk '{print $1}')
start=$(printf '0x%x' $((0x$base + 0x$rva)))
first_ret=$($objdump -d "$dll" --start-address="$start" --stop-address=$(printf '0x%x' $((start + 4096))) | grep -m1 -E '\sret')
if [ "$bits" = 32 ]; then
  check "interface1 removes its four arguments (ret \$0x10)" '[[ "$first_ret" == *"ret    \$0x10"* ]]'
else
  check "interface1 returns as the x64 convention wants (plain ret)" '[[ "$first_ret" =~ ret[[:space:]]*$ ]]'
fi

echo "pe: $(( 8 - failed )) passed, $failed failed"
[ "$failed" = 0 ]

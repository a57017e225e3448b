#!/usr/bin/env bash
# Checks the shipped engine library as a Windows loader will see it:
# one export, interface1, ordinal 1, callee-cleaned four arguments; the
# export directory names zelov.dll; only Windows' own DLLs are imported.
#   tests/pe/check_pe.sh path/to/zelov.dll
set -u
dll=$1
objdump=i686-w64-mingw32-objdump
failed=0
check() { if eval "$2"; then echo "ok $1"; else echo "FAIL $1"; failed=$((failed + 1)); fi; }

headers=$($objdump -p "$dll")
check "32-bit PE" '[[ $($objdump -f "$dll") == *"pei-i386"* ]]'
check "one export" '[[ $(sed -n "/^Export Address Table -- /,/^$/p" <<<"$headers" | grep -c "+base") == 1 ]]'
check "interface1 by name" 'grep -q "^\s*\[ *0\] interface1$" <<<"$headers"'
check "ordinal 1" 'grep -q "\[   0\] +base\[   1\]" <<<"$headers"'
check "export directory names zelov.dll" '$objdump -s -j .edata "$dll" | tr -d "\n" | grep -q "zelov.dll"'

imports=$(grep "DLL Name:" <<<"$headers" | awk "{print toupper(\$3)}" | sort -u)
allowed="KERNEL32.DLL MSVCRT.DLL WINMM.DLL USER32.DLL ADVAPI32.DLL"
extra=""
for d in $imports; do [[ " $allowed " == *" $d "* ]] || extra="$extra $d"; done
check "imports only system DLLs (${imports//$'\n'/ })" '[ -z "$extra" ]'

base=$(awk '/ImageBase/ {print $2}' <<<"$headers")
rva=$(grep -m1 "+base\[   1\]" <<<"$headers" | sed 's/.*\] //' | awk '{print $1}')
start=$(printf '0x%x' $((0x$base + 0x$rva)))
first_ret=$($objdump -d "$dll" --start-address="$start" --stop-address=$(printf '0x%x' $((start + 4096))) | grep -m1 -E '\sret')
check "interface1 removes its four arguments (ret \$0x10)" '[[ "$first_ret" == *"ret    \$0x10"* ]]'

echo "pe: $(( 7 - failed )) passed, $failed failed"
[ "$failed" = 0 ]

#!/usr/bin/env bash
# Both editions on one 64-bit Windows: registered side by side in one 64-bit
# prefix, a 32-bit and a 64-bit host play at the same time, each with its own
# engine, and unregistering one leaves the other working.
#   tests/wine/coexist.sh WIN32-BUILD WIN64-BUILD FIXTURES
# Exits 77 (skipped) where the machine cannot execute 32-bit code.
set -u
here=$(cd "$(dirname "$0")" && pwd)
w32=$(cd "$1" && pwd); w64=$(cd "$2" && pwd); fx=$(cd "$3" && pwd)
. "$here/../../tools/winehost.sh"

if ! wine_usable || [ "$ZEL_WINE_BUILD" != win32 ] || [ "${ZEL_WINE_EMULATED:-}" = 1 ]; then
  echo "coexistence: skipped: this machine cannot execute 32-bit code, and the case needs a 32-bit host beside a 64-bit one"
  exit 77
fi
wine_edition win64
run=$(mktemp -d /tmp/zelcoexist.XXXXXX)
trap 'wine_stop; pulse_stop; rm -rf "$run"' EXIT
wine_prefix "$run" "$w64"
mkdir -p "$run/x86" "$run/x64"
cp "$w32/zeloggplays100.ocx" "$w32/zelplay.exe" "$w32/crossapartment.exe" "$w32"/package/*.cmd "$run/x86/"
cp "$w64/zeloggplays100.ocx" "$w64/zelplay.exe" "$w64/crossapartment.exe" "$w64"/package/*.cmd "$run/x64/"
passed=0 failed=0
check() {  # check NAME CONDITION
  if eval "$2"; then echo "ok $1"; passed=$((passed + 1)); else echo "FAIL $1"; failed=$((failed + 1)); fi
}
# An edition's own registration script, from a 64-bit or a 32-bit prompt:
# each must find the regsvr32 of its edition from either.
script() {  # script x86|x64 64|32 NAME.cmd ARGS...
  local folder=$1 prompt='C:\windows\system32\cmd.exe'
  [ "$2" = 32 ] && prompt='C:\windows\syswow64\cmd.exe'
  shift 2
  (cd "$run/$folder" && wine "$prompt" /c "$@" > "$run/script.out" 2>&1)
  local code=$?
  cat "$run/script.out" >> "$run/scripts.log"
  return $code
}
play() {  # play x86|x64: zelplay plays the file; its exit code is the last error number
  (cd "$run/$1" && timeout 300 wine zelplay.exe "$(winpath "$fx/stereo44100.ogg")" < /dev/null \
     > "$run/$1.log" 2>/dev/null)
}

check "register.cmd of the 32-bit edition registers it from a 64-bit prompt (SysWOW64's regsvr32)" \
  'script x86 64 register.cmd && grep -qi "syswow64.regsvr32" "$run/script.out"'
check "register.cmd of the 64-bit edition registers it from a 32-bit prompt (Sysnative's regsvr32)" \
  'script x64 32 register.cmd && grep -qi "sysnative.regsvr32" "$run/script.out"'
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
play x86 & first=$!
play x64 & second=$!
wait "$first"; r32=$?
wait "$second"; r64=$?
check "a 32-bit and a 64-bit host play at the same time, each to ErrorCode 0" \
  '[ "$r32" = 0 ] && [ "$r64" = 0 ] && grep -q "^ErrorCode 0 " "$run/x86.log" && grep -q "^ErrorCode 0 " "$run/x64.log"'
deployed=$(dirname "$(find "$WINEPREFIX/drive_c/users" -path '*/ZelSoftware/zelov.dll' | head -n1)")
check "each edition deployed its own engine" \
  'cmp -s "$deployed/zelov.dll" "$w32/zelov.dll" && cmp -s "$deployed/zelov64.dll" "$w64/zelov64.dll"'
before=$(stat -c '%y' "$deployed/zelov.dll" "$deployed/zelov64.dll")
play x64; play x86
check "neither rewrites the other's engine" '[ "$(stat -c "%y" "$deployed/zelov.dll" "$deployed/zelov64.dll")" = "$before" ]'
check "unregister.cmd removes the 32-bit edition" 'script x86 64 unregister.cmd'
check "the 64-bit edition still plays" 'play x64 && grep -q "^ErrorCode 0 " "$run/x64.log"'
# UnRegisterTypeLib would have taken the interfaces' keys of both views with
# it, which calls between apartments need.
check "the 64-bit edition still answers calls from another apartment" \
  '(cd "$run/x64" && wine crossapartment.exe < /dev/null > "$run/cross.log" 2>&1) || { cat "$run/cross.log"; false; }'
check "the type library keeps the 64-bit edition's key" \
  'wine reg query "HKLM\Software\Classes\TypeLib\{B9902FB8-C2B2-4623-A26E-480C242FC303}\1.2\409\win64" > /dev/null 2>&1'
check "the 32-bit host no longer finds the control" '! play x86'
pulse_stop
[ "$failed" = 0 ] || cat "$run/scripts.log"
echo "coexistence: $passed passed, $failed failed"
[ "$failed" = 0 ]

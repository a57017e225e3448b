#!/usr/bin/env bash
# The engine under Wine with the real WINMM and a PulseAudio pipe sink.
#   tests/wine/run.sh WIN32-BUILD NATIVE-BUILD FIXTURES
# Exits 77 (skipped) where 32-bit Windows programs cannot run.
set -u
here=$(cd "$(dirname "$0")" && pwd)
win=$(cd "$1" && pwd); native=$(cd "$2" && pwd); fx=$(cd "$3" && pwd)
. "$here/../../tools/winehost.sh"

if ! wine_usable; then
  echo "wine: skipped: this machine cannot run 32-bit x86 programs (set ZEL_WINE_EMULATED=1 to use qemu-user)"
  exit 77
fi

run=$(mktemp -d /tmp/zelwine.XXXXXX)
trap 'wine_stop; pulse_stop; rm -rf "$run"' EXIT
wine_prefix "$run" "$win"
cp "$win/zelov.dll" "$win/winetest.exe" "$win/refdecode.exe" "$run/"
passed=0; failed=0
tally() {  # adds the closing "N passed, N failed" line of a case
  sed -i 's/\r$//' "$1"  # Wine's console ends lines with CR LF
  local line; line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$1" | tail -n1)
  if [ -z "$line" ]; then failed=$((failed + 1)); echo "FAIL $2: no result line"; cat "$1"; return; fi
  passed=$((passed + ${line%% passed*})); local f=${line#*passed, }; failed=$((failed + ${f%% failed*}))
  grep -E '^(ok|FAIL) ' "$1" | sed "s/^/$2: /"
}
wcase() {  # wcase NAME [CAPTURE]
  (cd "$run" && timeout 600 wine winetest.exe "$1" "$(winpath "$fx")" "${2:-}" > "$run/$1.log" 2>&1)
  tally "$run/$1.log" "$1"
}

# Without the daemon Wine has no wave-out device.
wcase missing
wcase no-device

pulse_start "$run" || { echo "FAIL pulseaudio did not start"; cat "$run/pulse.log"; exit 1; }
wcase silent-until-resume "$(winpath "$run/capture.raw")"
sleep 1  # let the sink flush its last period into the FIFO
(cd "$run" && wine refdecode.exe "$(winpath "$fx/stereo44100.ogg")" "$(winpath "$run/ref.raw")")
if "$native/capturecompare" "$run/ref.raw" "$run/capture.raw"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi
wcase cancel-paused
pulse_stop

# A 22050 Hz mono stream is resampled by the sound server: compared by
# correlation rather than bit for bit.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
wcase play-mono22050
sleep 1
pulse_stop
(cd "$run" && wine refdecode.exe "$(winpath "$fx/mono22050.ogg")" "$(winpath "$run/mono.raw")")
if "$native/capturecompare" --correlate "$run/mono.raw" "$run/capture.raw"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

echo "wine: $passed passed, $failed failed"
[ "$failed" = 0 ]

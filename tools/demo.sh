#!/usr/bin/env bash
# The main job: builds the control library, makes a sample Ogg Vorbis file,
# registers zeloggplays100.ocx under Wine (a private PulseAudio daemon is the
# sound card), plays the sample through the control with the small host
# zelplay.exe, prints every event the control raises, and saves what the
# device played as build/demo/played.wav.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh || exit 1
. tools/build.sh
. tools/winehost.sh

build build/native -DCMAKE_BUILD_TYPE=Release -DZEL_SANITIZE= || exit 1
build_windows || exit 1

demo="$root/build/demo"
mkdir -p "$demo"
build/native/makefixtures --dense 6 "$demo/sample.ogg" || exit 1
echo "sample: $demo/sample.ogg"

# A WAV header for 44100 Hz stereo 16-bit data of $1 bytes.
wavheader() {
  le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))\\x$(printf %02x $((($1 >> 16) & 255)))\\x$(printf %02x $((($1 >> 24) & 255)))"; }
  printf 'RIFF'; le32 $(($1 + 36)); printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x02\x00'; le32 44100; le32 176400; printf '\x04\x00\x10\x00'
  printf 'data'; le32 "$1"
}

events='^(Status|Finished|OggVorbisSettings|Progress|TimePosition|ErrorCode|PlayFile|saved)'
if wine_usable; then
  win=build/win32
  if [ "$ZEL_WINE_BUILD" = win64 ]; then
    echo "note: this machine cannot execute 32-bit code; the 64-bit edition"
    echo "      plays under 64-bit Wine instead."
    build_windows64 || exit 1
    win=build/win64
  fi
  run=$(mktemp -d /tmp/zeldemo.XXXXXX)
  trap 'wine_stop; pulse_stop; rm -rf "$run"' EXIT
  wine_prefix "$run" "$root/$win"
  cp $win/zeloggplays100.ocx $win/zelplay.exe "$run/"
  pulse_start "$run" || { echo "PulseAudio did not start"; exit 1; }
  (cd "$run" && wine regsvr32 /s zeloggplays100.ocx) || { echo "regsvr32 failed"; exit 1; }
  # The engine's own progress lines go to engine-stderr.log; the events to the terminal.
  (cd "$run" && wine zelplay.exe "$(winpath "$demo/sample.ogg")" 2>"$demo/engine-stderr.log") | tr -d '\r' | grep -E "$events"
  result=${PIPESTATUS[0]}
  sleep 1
  pulse_stop
  size=$(stat -c %s "$run/capture.raw")
  { wavheader "$size"; cat "$run/capture.raw"; } > "$demo/played.wav"
  echo "saved:    $demo/played.wav (what the sound card received)"
else
  echo "note: Wine cannot run here, so the control's playback logic and the"
  echo "      engine run natively, the engine on the simulated wave-out device"
  echo "      playing in real time."
  build/native/zelplay-native "$demo/sample.ogg" "$demo/played.wav" 2>"$demo/engine-stderr.log" | grep -E "$events"
  result=${PIPESTATUS[0]}
fi
echo "last error number: $result"

#!/usr/bin/env bash
# One edition of the engine and the control library under Wine, with the
# real WINMM and a PulseAudio pipe sink:
#   tests/wine/run.sh EDITION-BUILD NATIVE-BUILD FIXTURES
# EDITION-BUILD is build/win32 (the 32-bit edition, in a 32-bit prefix) or
# build/win64 (the 64-bit edition, in a 64-bit prefix). Exits 77 (skipped)
# where Wine cannot run that edition.
set -u
here=$(cd "$(dirname "$0")" && pwd)
win=$(cd "$1" && pwd); native=$(cd "$2" && pwd); fx=$(cd "$3" && pwd)
. "$here/../../tools/winehost.sh"

edition=win32; [ -f "$win/zelov64.dll" ] && edition=win64
if ! wine_usable; then
  echo "wine: skipped: Wine cannot run here"
  exit 77
fi
if [ "$edition" = win32 ] && [ "$ZEL_WINE_BUILD" != win32 ]; then
  echo "wine: skipped: this machine cannot execute 32-bit code, so the 32-bit edition cannot run"
  exit 77
fi
wine_edition "$edition"
echo "wine: the $([ "$edition" = win32 ] && echo 32-bit || echo 64-bit) edition ($win)"

run=$(mktemp -d /tmp/zelwine.XXXXXX)
trap 'wine_stop; pulse_stop; kill ${plainpid:-} ${tlspid:-} ${radiopids:-} 2>/dev/null; rm -rf "$run"' EXIT
wine_prefix "$run" "$win"
# The engine's own cases load it from a folder of their own: beside the
# control library it would be the installed engine the control loads.
mkdir -p "$run/engine"
cp "$win"/zelov*.dll "$win/winetest.exe" "$win/refdecode.exe" "$run/engine/"
passed=0; failed=0
tally() {  # adds the closing "N passed, N failed" line of a case
  sed -i 's/\r$//' "$1"  # Wine's console ends lines with CR LF
  local line; line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$1" | tail -n1)
  if [ -z "$line" ]; then failed=$((failed + 1)); echo "FAIL $2: no result line"; cat "$1"; return; fi
  passed=$((passed + ${line%% passed*})); local f=${line#*passed, }; failed=$((failed + ${f%% failed*}))
  grep -E '^(ok|FAIL|soak:|mark:) ' "$1" | sed "s/^/$2: /"  # checks, the soak's figures, measuring marks
}
compare() {  # compare ARGUMENTS...: one check by capturecompare
  if "$native/capturecompare" "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
wcase() {  # wcase NAME [CAPTURE]
  (cd "$run/engine" && timeout 600 wine winetest.exe "$1" "$(winpath "$fx")" "${2:-}" > "$run/$1.log" 2>&1)
  tally "$run/$1.log" "$1"
}

# Without the daemon Wine has no wave-out device.
wcase missing
wcase no-device

pulse_start "$run" || { echo "FAIL pulseaudio did not start"; cat "$run/pulse.log"; exit 1; }
wcase silent-until-resume "$(winpath "$run/capture.raw")"
sleep 1  # let the sink flush its last period into the FIFO
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/stereo44100.ogg")" "$(winpath "$run/ref.raw")")
compare "$run/ref.raw" "$run/capture.raw"
wcase cancel-paused
pulse_stop

# A 22050 Hz mono stream is resampled by the sound server: compared by
# correlation rather than bit for bit.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
wcase play-mono22050
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/mono22050.ogg")" "$(winpath "$run/mono.raw")")
compare --correlate "$run/mono.raw" "$run/capture.raw"

# The control library, registered as an installer would, used by our test
# container, by Wine's AtlAxWin and by a VBScript.
cp "$win/zeloggplays100.ocx" "$win/controltest.exe" "$win/zelplay.exe" "$win/planted.dll" "$win/cppexample.exe" \
   "$win/crossapartment.exe" \
   "$win/tlbinfo.exe" "$here/script.vbs" "$run/"
examples=$(cd "$here/../../examples" && pwd)
ocx=$(winpath "$run/zeloggplays100.ocx")
# An example VBScript as Wine 8's script host can run it: its WScript.Sleep
# is a stub that ends the script, so the copy waits in a timed loop instead,
# and its WScript.CreateObject cannot connect events, so the copy creates
# the control without them (on Windows the Sleep runs the messages that
# bring the events to the script's Player_ Subs).
winevbs() {  # winevbs SCRIPT: the copy, on standard output
  sed -E -e 's/^( *)WScript\.Sleep ([0-9]+)/\1t0 = Timer: Do While Timer - t0 < \2 \/ 1000 And Timer >= t0: Loop/' \
    -e 's/WScript\.CreateObject\(("[^"]*"), "Player_"\)/CreateObject(\1)/' "$1"
}
expect() {  # expect NAME EXIT-CODE COMMAND...: one check of a command's exit code
  local name=$1 want=$2; shift 2
  (cd "$run" && timeout 900 "$@" > "$run/cmd.log" 2>&1)
  local got=$?
  if [ "$got" = "$want" ]; then passed=$((passed + 1)); echo "ok $name"
  else failed=$((failed + 1)); echo "FAIL $name: exit $got, wanted $want"; cat "$run/cmd.log"; fi
}
# The shell's handler of http: and mailto: addresses becomes a recorder, so
# that the About box's links can be followed.
mkdir -p "$run/opened"
opened=$(winpath "$run/opened")
for scheme in http mailto; do
  (cd "$run" && wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve \
     /d "\"$(winpath "$run/controltest.exe")\" record \"$opened\" \"%1\"" /f >/dev/null 2>&1)
done
control() {  # control CASE...: our container, in one process
  (cd "$run" && ZEL_OPENED="$opened" timeout 1800 wine controltest.exe "$(winpath "$fx")" "$(winpath "$run/capture.raw")" "$@" \
     > "$run/control.log" 2>&1)
  tally "$run/control.log" control
}
expect "regsvr32 registers the control" 0 wine regsvr32 /s "$ocx"
expect "registering again is harmless" 0 wine regsvr32 /s "$ocx"
expect "both classes answer calls from another apartment" 0 wine crossapartment.exe
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
# Every case that needs no step of its own, in one process.
control $(cd "$run" && wine controltest.exe --list | tr -d '\r')
pulse_stop
# ZelOggPlayEx: a seek to 2.0 s while paused at the start is heard as the
# file from 2.0 s to its end (3.0 s, where libvorbisfile ends it), every
# frame; in a fresh sound server, so that the capture holds this file only.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exseek
sleep 1
pulse_stop
dd if="$run/ref.raw" of="$run/ref-from2s.raw" bs=4 skip=88200 count=44100 status=none
compare "$run/ref-from2s.raw" "$run/capture.raw"
# The position heard, a seek in a long file, and volume 50, mute and unmute
# on a steady tone, measured in the capture at the marks the case printed.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exmeasure
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/long.ogg")" "$(winpath "$run/long.raw")")
markat() { grep "^mark: $1 " "$run/control.log" | tail -n1 | cut -d' ' -f"$2"; }
compare --position "$run/long.raw" "$run/capture.raw" "$(markat position 3)" "$(markat position 4)" "$(markat seek 3)"
compare --levels "$run/capture.raw" "$(markat volume50 3)" "$(markat mute 3)" "$(markat unmute 3)" \
     "$(markat end 3)"
# Two ZelOggPlayEx controls at once: both tones are in the capture, and a
# volume of 50 on one halves that one alone.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exstreams
sleep 1
pulse_stop
compare --pitches "$run/capture.raw" "$(markat both 3)" "$(markat lowhalf 3)" "$(markat after 3)"
# Two sounds mixed on the card are their sum, sample for sample.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exsum
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/tone.ogg")" "$(winpath "$run/tone.raw")")
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/tone1000.ogg")" "$(winpath "$run/tone1000.raw")")
compare --sum "$run/tone.raw" "$run/tone1000.raw" "$run/capture.raw"
# A volume slider dragged while a tone plays: nothing skipped or repeated.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exdrag
sleep 1
pulse_stop
compare --span "$run/tone.raw" "$run/capture.raw"
# A file of 1.5 s and one frame, looped: whole passes, three or more, with
# nothing added or lost at the seams.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exloop
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/loop.ogg")" "$(winpath "$run/loop.raw")")
compare --loop "$run/loop.raw" "$run/capture.raw" 3
# Ogg Opus through ZelOggPlayEx, into a sink at 48 kHz so that the sound
# server passes it through untouched: every sample of libopusfile's decode.
pulse_start "$run" 48000 || { echo "FAIL pulseaudio did not start"; exit 1; }
control exopus
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/stereo.opus")" "$(winpath "$run/opus.raw")")
compare "$run/opus.raw" "$run/capture.raw"
# FLAC through ZelOggPlayEx: a 16-bit file's floats pass the mix and the
# sound server's conversion unchanged, every sample of libFLAC's decode.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exflac
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/stereo.flac")" "$(winpath "$run/flac.raw")")
compare "$run/flac.raw" "$run/capture.raw"
# A pan, a rate and a fade, each measured in the capture.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exstages
sleep 1
pulse_stop
compare --stages "$run/capture.raw" "$(markat panned 3)" "$(markat rated 3)" "$(markat unrated 3)" "$(markat fading 3)" \
  "$(markat end 3)"
# A file queued begins on the sample after the last of the one before:
# the capture holds the two decodes back to back, not a frame between.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exqueue
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/short.ogg")" "$(winpath "$run/short.raw")")
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/stereo44100.ogg")" "$(winpath "$run/stereo44100.raw")")
compare --seam "$run/short.raw" "$run/stereo44100.raw" "$run/capture.raw"
# Ogg Opus queued after Vorbis, at 48 kHz so that both pass untouched:
# every sample of both, not a frame between them. (The Vorbis file ends on
# a period's end, so that the second starts with the next render: under
# load, a run that closed its voice before the mix let the next in had
# left the card silent for as long as its thread was held up.)
pulse_start "$run" 48000 || { echo "FAIL pulseaudio did not start"; exit 1; }
control exqueueopus
sleep 1
pulse_stop
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/stereo48000.ogg")" "$(winpath "$run/stereo48000.raw")")
compare --seam "$run/stereo48000.raw" "$run/opus.raw" "$run/capture.raw"
# Two tones crossfaded over a second: the equal-power curve in the capture.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control excrossfade
sleep 1
pulse_stop
compare --crossfade "$run/tone.raw" "$run/tone1000.raw" "$run/capture.raw" 1
# Files and streams on web servers, through WinHTTP: the tests' own server
# (tests/wine/webserver.py), plain and over TLS with a certificate that
# nothing trusts, each started here and stopped by its pid.
freeport() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
webstart() {  # webstart LOG PORT [CERTIFICATE KEY]: the server's pid in webpid
  local log=$1; shift
  python3 "$here/webserver.py" "$1" "$fx" "${@:2}" > "$log" 2>&1 &
  webpid=$!
  for _ in $(seq 100); do grep -q ready "$log" && return 0; sleep 0.05; done
  return 1
}
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$run/key.pem" -out "$run/cert.pem" -days 2 -subj /CN=127.0.0.1 \
  > /dev/null 2>&1
webport=$(freeport); tlsport=$(freeport)
webstart "$run/web.log" "$webport" || echo "FAIL the web server did not start"
plainpid=$webpid
webstart "$run/webtls.log" "$tlsport" "$run/cert.pem" "$run/key.pem" || echo "FAIL the TLS web server did not start"
tlspid=$webpid
export ZEL_WEB="http://127.0.0.1:$webport" ZEL_WEBTLS="https://127.0.0.1:$tlsport"
# A file from the server, its connection broken half way and resumed by a
# range: every sample of it heard.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exweb
sleep 1
pulse_stop
compare "$run/stereo44100.raw" "$run/capture.raw"
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control exwebfaults
pulse_stop
kill "$plainpid" "$tlspid" 2>/dev/null
wait "$plainpid" "$tlspid" 2>/dev/null
# A station on a real Icecast server (Debian's icecast2, on a loopback port
# with a configuration written here), fed two songs by ezstream, each
# started here and stopped by its pid: the songs' titles in order.
radioport=$(freeport)
mkdir -p "$run/radio/log"
# Started as root, icecast2 runs as its own user: it must reach its log.
chmod o+x "$run" "$run/radio"
chown icecast2:icecast "$run/radio/log" 2>/dev/null
cat > "$run/radio/icecast.xml" <<EOF
<icecast>
  <limits><clients>20</clients><sources>2</sources><burst-size>65536</burst-size><source-timeout>5</source-timeout></limits>
  <authentication><source-password>zelsource</source-password><admin-user>admin</admin-user><admin-password>zeladmin</admin-password></authentication>
  <hostname>127.0.0.1</hostname>
  <listen-socket><port>$radioport</port><bind-address>127.0.0.1</bind-address></listen-socket>
  <paths><basedir>/usr/share/icecast2</basedir><logdir>$run/radio/log</logdir><webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>
  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></logging>
  <security><chroot>0</chroot><changeowner><user>icecast2</user><group>icecast</group></changeowner></security>
</icecast>
EOF
cat > "$run/radio/ezstream.xml" <<EOF
<ezstream>
  <servers><server><protocol>HTTP</protocol><hostname>127.0.0.1</hostname><port>$radioport</port><password>zelsource</password></server></servers>
  <streams><stream><mountpoint>/radio.ogg</mountpoint><format>Ogg</format></stream></streams>
  <intakes><intake><type>playlist</type><filename>$run/radio/playlist.txt</filename><stream_once>Yes</stream_once></intake></intakes>
</ezstream>
EOF
chmod 600 "$run/radio/ezstream.xml"
printf '%s\n' "$fx/song1.ogg" "$fx/song2.ogg" > "$run/radio/playlist.txt"
mountstatus() {  # mountstatus URL: the HTTP status of a GET, 0 for no answer
  python3 -c '
import sys, urllib.request, urllib.error
try:
    print(urllib.request.urlopen(sys.argv[1], timeout=2).status)
except urllib.error.HTTPError as e:
    print(e.code)
except Exception:
    print(0)' "$1"
}
onair() {  # onair: ezstream sends the two songs once, from now
  ezstream -c "$run/radio/ezstream.xml" > "$run/radio/ezstream.out" 2>&1 &
  radiopids="$radiopids $!"
  for _ in $(seq 100); do [ "$(mountstatus "http://127.0.0.1:$radioport/radio.ogg")" = 200 ] && break; sleep 0.05; done
}
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
icecast2 -c "$run/radio/icecast.xml" > "$run/radio/icecast.out" 2>&1 &
radiopids=$!
for _ in $(seq 100); do [ "$(mountstatus "http://127.0.0.1:$radioport/radio.ogg")" = 404 ] && break; sleep 0.1; done
onair
export ZEL_RADIO="http://127.0.0.1:$radioport"
control exradio
sleep 1
pulse_stop
# The station's burst starts at its first song (the control connected as
# it came on the air): both songs heard whole, in order, without a break of
# 0.2 s (what came with the headers had once played before the buffer was
# gathered behind it, 0.3 s of silence).
(cd "$run/engine" && wine refdecode.exe "$(winpath "$fx/song1.ogg")" "$(winpath "$run/song1.raw")" &&
  wine refdecode.exe "$(winpath "$fx/song2.ogg")" "$(winpath "$run/song2.raw")")
cat "$run/song1.raw" "$run/song2.raw" > "$run/songs.raw"
compare "$run/songs.raw" "$run/capture.raw" 8820
# examples/vbscript/radio.vbs as a user runs it (as Wine can: winevbs), on
# the station's next broadcast.
winevbs "$here/../../examples/vbscript/radio.vbs" > "$run/radio.vbs"
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
onair
expect "examples/vbscript/radio.vbs shows each song of a station as it begins, to the station's end" 0 \
  sh -c "wine cscript //nologo radio.vbs '$ZEL_RADIO/radio.ogg' | tr -d '\r' | grep -E '^(Fixture|done)' | paste -sd'|' |
         grep -qx 'Fixture - First Song|Fixture - Second Song|done: stop'"
pulse_stop
kill $radiopids 2>/dev/null
wait $radiopids 2>/dev/null
radiopids=
# PlayFile alone makes the file audible, every sample of it: the sound
# server is fresh, so the capture holds this file only.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
control play
sleep 1
compare "$run/ref.raw" "$run/capture.raw"
expect "a VBScript plays a file to its end by polling" 0 wine cscript //nologo script.vbs "$(winpath "$fx/short.ogg")"
expect "a VBScript's PlayFile is heard with no message loop" 0 \
  wine cscript //nologo script.vbs "$(winpath "$fx/short.ogg")" play
expect "a VBScript reads ZelOggPlayEx's length and Comment(\"TITLE\") right after OpenFile, seeks and plays to the end" 0 \
  wine cscript //nologo script.vbs "$(winpath "$fx/tags.ogg")" ex
# A host we did not write: a Free Pascal program (Object Pascal, the
# language of Delphi) that creates the control by ProgID and prints every
# event through its own IDispatch sink.
if bash "$here/../../examples/pascal/build.sh" "$edition" "$run/pascal" > "$run/pascal.log" 2>&1; then
  expect "a Free Pascal program plays a file with every event" 0 \
    sh -c "cd pascal && wine zelplay.exe '$(winpath "$fx/stereo44100.ogg")' > events.txt 2>/dev/null"
  events=$(tr -d '\r' < "$run/pascal/events.txt" | grep -E '^(Status|Finished|ErrorCode)' | paste -sd'|')
  if [ "$events" = 'Status playing|Status stop|Finished|ErrorCode 0 "No error"' ] &&
     grep -q '^OggVorbisSettings rate 44100' "$run/pascal/events.txt" && grep -q '^TimePosition 3 00:00:03' "$run/pascal/events.txt"; then
    passed=$((passed + 1)); echo "ok the Pascal program's sink saw the events in order"
  else
    failed=$((failed + 1)); echo "FAIL the Pascal program's sink saw: $events"
  fi
else
  failed=$((failed + 1)); echo "FAIL the Pascal example did not build"; cat "$run/pascal.log"
fi
expect "zelplay --open starts on an r from its input" 0 \
  sh -c "echo r | wine zelplay.exe --open '$(winpath "$fx/short.ogg")'"
expect "zelplay exits with the last error number (23)" 23 wine zelplay.exe "$(winpath "$fx/garbage-large.bin")"
# The examples that Wine's script host runs, as a user would run them,
# except where Wine 8 differs from Windows (winevbs; the JScript copies
# likewise wait in a timed loop).
winevbs "$examples/vbscript/play.vbs" > "$run/example.vbs"
sed -E 's/WScript\.Sleep\(([0-9]+)\);/for (var t0 = new Date().getTime(); new Date().getTime() - t0 < \1;) {}/' \
  "$examples/jscript/play.js" > "$run/example.js"
sed -E 's/WScript\.Sleep\(([0-9]+)\);/for (var t0 = new Date().getTime(); new Date().getTime() - t0 < \1;) {}/' \
  "$examples/jscript/decks.js" > "$run/decks.js"
expect "examples/vbscript/play.vbs plays a file to its end (under Wine without its events, which Windows delivers)" 0 \
  sh -c "wine cscript //nologo example.vbs '$(winpath "$fx/short.ogg")' | tr -d '\r' | grep -qx 'done: stop'"
expect "examples/jscript/play.js shows the title and length, seeks, and plays to the end" 0 \
  sh -c "wine cscript //nologo example.js '$(winpath "$fx/stereo44100.ogg")' | tr -d '\r' > js.txt &&
         grep -qx 'fixture (3.0 s)' js.txt && grep -qx 'done: stop' js.txt"
expect "examples/jscript/decks.js crossfades from one deck to the other and plays to the end" 0 \
  sh -c "wine cscript //nologo decks.js '$(winpath "$fx/tone.ogg")' '$(winpath "$fx/tone1000.ogg")' | tr -d '\r' |
         grep -E '^(deck|done)' | paste -sd'|' | grep -qx 'deck A: fixture (6.0 s)|deck B: fixture (6.0 s)|done: stop'"
# The examples in languages that do not run here, against the type
# libraries the registered control carries.
(cd "$run" && wine tlbinfo.exe zeloggplays100.ocx && wine tlbinfo.exe 'zeloggplays100.ocx\2') 2>/dev/null |
  tr -d '\r' > "$run/typelibs.txt"
expect "the other examples and the README's snippets use the type libraries as they are" 0 \
  python3 "$here/../examples/check_examples.py" "$run/typelibs.txt" "$here/../../README.md" \
    "$examples"/*/*.vbs "$examples"/*/*.js "$examples"/*/*.ps1 "$examples"/*/*.py "$examples"/*/*.ahk \
    "$examples"/*/*.cls "$examples"/*/*.bas "$examples"/*/*.frm "$examples"/*/*.cs "$examples"/*/*.pas "$examples"/*/*.csproj
# The C++ example, built over the SDK's header.
expect "the C++ example plays a file to ErrorCode 0" 0 \
  sh -c "wine cppexample.exe '$(winpath "$fx/tags.ogg")' > cpp.txt 2>/dev/null"
expect "and shows its length and title, then its events in order" 0 \
  sh -c "tr -d '\r' < cpp.txt | grep -E '^(Duration|Status|Finished|ErrorCode)' | paste -sd'|' |
         grep -qx 'Duration 1.0 s, TITLE \"Песня 歌\"|Status playing|Status stop|Finished|ErrorCode 0 No error'"
pulse_stop

# The sound server goes away in the middle of a file, and comes back.
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
(cd "$run" && ZEL_SERVER_BACK="$(winpath "$run/server-back")" timeout 300 \
   wine controltest.exe "$(winpath "$fx")" "$(winpath "$run/capture.raw")" vanish > "$run/vanish.log" 2>&1) &
vanishing=$!
for _ in $(seq 1200); do grep -q "sound started" "$run/vanish.log" && break; sleep 0.1; done
pulse_stop
for _ in $(seq 1200); do grep -q "vanish: ended" "$run/vanish.log" && break; sleep 0.1; done
pulse_start "$run" || { echo "FAIL pulseaudio did not start again"; exit 1; }
touch "$run/server-back"
wait "$vanishing"
pulse_stop
tally "$run/vanish.log" control

control nodevice
expect "regsvr32 /n /i:user registers for the user" 0 wine regsvr32 /s /n /i:user "$ocx"
expect "the user's classes hold the ProgID" 0 wine reg query 'HKCU\Software\Classes\ZelOggPlayer100.ZelOggPlay\CLSID'
expect "and unregister from there" 0 wine regsvr32 /s /u /n /i:user "$ocx"
expect "leaving nothing in the user's classes" 1 wine reg query 'HKCU\Software\Classes\ZelOggPlayer100.ZelOggPlay'
# The other edition registered beside this one, as its platform's key of
# each type library (written here by hand, so that a machine that cannot
# run the other edition checks this too): unregistering this edition leaves
# the interfaces' keys, which the other's calls between apartments need,
# and the other's keys. UnRegisterTypeLib would have taken the interfaces'.
# (Registered again first: Wine's per-user unregistration above is
# machine-wide for the type libraries.)
other=win32; [ "$edition" = win32 ] && other=win64
libs='HKLM\Software\Classes\TypeLib' first='{A8A77DA5-6297-4B7C-BEF4-F51EC06C6654}'
second='{B9902FB8-C2B2-4623-A26E-480C242FC303}'
(cd "$run" && wine regsvr32 /s "$ocx")
for lib in "$first\\17.0" "$second\\1.2"; do
  (cd "$run" && wine reg add "$libs\\$lib\\409\\$other" /ve /d 'C:\other\zeloggplays100.ocx' /f > /dev/null 2>&1)
done
expect "unregistered beside the other edition, the interfaces' keys and the other's stay" 0 sh -c "
  wine regsvr32 /s /u '$ocx' &&
  wine reg query 'HKLM\\Software\\Classes\\Interface\\{9577D2CB-DBE2-47F9-AD51-FA73425B3921}' &&
  wine reg query '$libs\\$second\\1.2\\409\\$other' && ! wine reg query '$libs\\$second\\1.2\\409\\$edition'"
for lib in "$first" "$second"; do (cd "$run" && wine reg delete "$libs\\$lib" /f > /dev/null 2>&1); done
expect "registered again" 0 wine regsvr32 /s "$ocx"
expect "regsvr32 /u unregisters" 0 wine regsvr32 /s /u "$ocx"
expect "leaving no type library key" 1 wine reg query "$libs\\$second"
control unregistered

# The release's registration scripts: their options and exit codes.
mkdir -p "$run/package"
cp "$win/zeloggplays100.ocx" "$win"/package/*.cmd "$run/package/"
expect "register.cmd refuses an option it does not know (1)" 1 sh -c "cd package && wine cmd /c register.cmd /all"
expect "register.cmd /user registers for the user" 0 sh -c "cd package && wine cmd /c register.cmd /user"
expect "the user's classes hold the ProgID" 0 wine reg query 'HKCU\Software\Classes\ZelOggPlayer100.ZelOggPlayEx\CLSID'
expect "unregister.cmd /user removes it" 0 sh -c "cd package && wine cmd /c unregister.cmd /user"
expect "leaving nothing in the user's classes" 1 wine reg query 'HKCU\Software\Classes\ZelOggPlayer100.ZelOggPlayEx'
expect "register.cmd registers for every user" 0 sh -c "cd package && wine cmd /c register.cmd"
expect "the machine's classes hold the ProgID" 0 wine reg query 'HKLM\Software\Classes\ZelOggPlayer100.ZelOggPlayEx\CLSID'
expect "unregister.cmd removes it" 0 sh -c "cd package && wine cmd /c unregister.cmd"
expect "leaving nothing in the machine's classes" 1 wine reg query 'HKLM\Software\Classes\ZelOggPlayer100.ZelOggPlayEx'
# A folder whose name holds an "&", which cmd takes for a command's end
# wherever a path is not quoted.
mkdir -p "$run/pack & go" && cp "$run/package/"* "$run/pack & go/"
expect "register.cmd in a folder named with an & registers, and prints its path whole" 0 sh -c "
  cd 'pack & go' && wine cmd /c register.cmd /user > out.txt 2>&1 &&
  tr -d '\r' < out.txt | grep -q 'pack & go.zeloggplays100.ocx\"\$' && wine cmd /c unregister.cmd /user"
rm "$run/package/zeloggplays100.ocx"
expect "register.cmd without the control beside it (3)" 3 sh -c "cd package && wine cmd /c register.cmd"
if [ "$edition" = win32 ] && [ -f "$win/../win64/package/register.cmd" ]; then
  cp "$win/../win64/zeloggplays100.ocx" "$run/package/"
  cp "$win/../win64/package/register.cmd" "$run/package/register64.cmd"
  expect "the 64-bit edition's register.cmd on 32-bit Windows (2)" 2 sh -c "cd package && wine cmd /c register64.cmd"
fi

# Registration-free: the program's manifest names the control's assembly,
# whose manifest is beside it with the control library.
mkdir -p "$run/app"
# As the release package has it, the engine is beside the control: that
# copy is loaded, and none is written to the temporary folder.
cp "$win/zeloggplays100.ocx" "$win"/zelov*.dll "$win/zelplay.exe" "$win/crossapartment.exe" "$win/ZelOggPlayerEx.tlb" \
   "$win/package/ZelSoftware.ZelOggPlay.manifest" "$run/app/"
cp "$win/package/program.exe.manifest" "$run/app/zelplay.exe.manifest"
cp "$win/package/program.exe.manifest" "$run/app/crossapartment.exe.manifest"
find "$WINEPREFIX/drive_c/users" -path '*/ZelSoftware/zelov*.dll' -delete
pulse_start "$run" || { echo "FAIL pulseaudio did not start"; exit 1; }
expect "a program with a manifest plays with no registry entries" 0 \
  sh -c "cd app && wine zelplay.exe '$(winpath "$fx/short.ogg")' < /dev/null"
pulse_stop
expect "with the engine beside the control, none is written to the temporary folder" 0 \
  sh -c "! find '$WINEPREFIX/drive_c/users' -path '*/ZelSoftware/zelov*.dll' | grep -q ."
expect "with no registry entries, both classes answer calls from another apartment (the manifest's proxy entries)" 0 \
  sh -c "cd app && wine crossapartment.exe < /dev/null"

echo "wine: $passed passed, $failed failed"
[ "$failed" = 0 ]

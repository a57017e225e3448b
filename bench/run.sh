#!/usr/bin/env bash
# The benchmarks, each a figure measured side by side in one run:
# - decode cost, counted in instructions by callgrind on one generated 30 s
#   dense stereo file: the engine's worker on a device that never waits
#   against a bare libvorbis synthesis loop with no conversion (the floor),
#   and against oggdec writing to /dev/null, all with Debian's libvorbis;
#   the same for the sound as Ogg Opus against a bare libopusfile loop and
#   opusdec, and as FLAC against a bare libFLAC loop;
# - the sizes of both editions' libraries;
# - under Wine, for each edition the machine can run: the decode cost of its
#   build in CPU time, and the control's CPU share, cancel time and start
#   latency in real playback (the cancel and the start for both classes),
#   the CPU of 1, 4, 16 and 32 ZelOggPlayEx
#   streams at once (mixed on one sound card's output) and the share of
#   each period its render thread takes, the start of a second sound while
#   one plays, the heap and handles while 500 controls are created, played
#   and released with 16 playing, PlayMemory's start beside PlayFile's and
#   what ZelOggPlayEx's open spends reading the headers, side by side in a
#   closing table.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh
for tools in vorbis-tools opus-tools; do
  dpkg-query -W -f='${Status}' "$tools" 2>/dev/null | grep -q 'install ok installed' ||
    apt-get install -y -qq --no-install-recommends "$tools" >/dev/null
done
. tools/build.sh
build build/bench -DCMAKE_BUILD_TYPE=Release -DZEL_SANITIZE=
work=$(mktemp -d)
run=
cleanup() {
  local status=$?
  set +e  # stopping what is already gone is no failure
  if [ -n "$run" ]; then
    # A step that gave no figure ends the run: say what Wine said.
    if [ "$status" != 0 ] && [ -s "$run/wine.err" ]; then
      echo "bench: a step under Wine gave no figure; the last lines Wine printed:"
      grep -a -v -E '^(Testando|Devices|Buffers|Bitstream|Done|[A-Z]+=)| ret [0-9]' "$run/wine.err" | tail -n 15
    fi
    wine_stop; pulse_stop; rm -rf "$run"
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
build/bench/makefixtures --dense 30 "$work/dense.ogg"
count() {  # count MODE [FILE]
  valgrind --tool=callgrind --callgrind-out-file="$work/cg.$1" build/bench/bench_decode "$1" "${2:-$work/dense.ogg}" \
    2>&1 >/dev/null | awk '/Collected :/ {print $4}'
}
engine=$(count engine)
floor=$(count floor)
oggdec=$(valgrind --tool=callgrind --callgrind-out-file="$work/cg.oggdec" oggdec -Q -o /dev/null "$work/dense.ogg" \
  2>&1 >/dev/null | awk '/Collected :/ {print $4}')
printf '%-34s %15s %15s %8s\n' "" "instructions" "per s of audio" "/ floor"
row() { awk -v n="$1" -v c="$2" -v f="$floor" 'BEGIN { printf "%-34s %15d %15d %8.3f\n", n, c, c / 30, c / f }'; }
row "engine worker (device never waits)" "$engine"
row "bare libvorbis loop (floor)" "$floor"
row "oggdec -o /dev/null" "$oggdec"

# The same for Ogg Opus: 30 s of the dense sound at 48 kHz, the engine
# against a bare libopusfile loop and opusdec (at 48 kHz, no dither, as the
# engine converts).
build/bench/makefixtures --dense-opus 30 "$work/dense.opus"
opusengine=$(count engine "$work/dense.opus")
opusfloor=$(count floor "$work/dense.opus")
opusdec=$(valgrind --tool=callgrind --callgrind-out-file="$work/cg.opusdec" opusdec --quiet --rate 48000 --no-dither \
  "$work/dense.opus" /dev/null 2>&1 >/dev/null | awk '/Collected :/ {print $4}')
floor=$opusfloor
row "Opus: engine worker" "$opusengine"
row "Opus: bare libopusfile loop (floor)" "$opusfloor"
row "Opus: opusdec, 48 kHz, no dither" "$opusdec"

# And for FLAC: 30 s of the dense sound as 16-bit FLAC, the engine (which
# hands its samples on as floats) against a bare libFLAC loop whose write
# callback does nothing.
build/bench/makefixtures --dense-flac 30 "$work/dense.flac"
flacengine=$(count engine "$work/dense.flac")
floor=$(count floor "$work/dense.flac")
row "FLAC: engine worker" "$flacengine"
row "FLAC: bare libFLAC loop (floor)" "$floor"

# Footprint of both editions' libraries.
build_windows >/dev/null || exit 1
build_windows64 >/dev/null || exit 1
echo
printf '%-34s %15s %15s\n' "footprint" "bytes" "/ 1 MiB"
size() { awk -v n="$1" -v b="$(stat -c %s "$2")" 'BEGIN { printf "%-34s %15d %15.3f\n", n, b, b / 1048576 }'; }
size "x86 zeloggplays100.ocx (engine in)" build/win32/zeloggplays100.ocx
size "x86 zelov.dll" build/win32/zelov.dll
size "x64 zeloggplays100.ocx (engine in)" build/win64/zeloggplays100.ocx
size "x64 zelov64.dll" build/win64/zelov64.dll

# Each edition under Wine, where the machine runs it: the decode cost of its
# build in CPU time against the bare loop built the same way, the CPU time
# of real-time playback through the control beside wave-out alone (the
# sound system's share), how long CancelPlayback blocks, and the time from
# PlayFile to the first sound heard.
. tools/winehost.sh
declare -A figure
measure() {  # measure EDITION BUILD-DIR
  local edition=$1 win=$2
  wine_edition "$edition"
  run=$(mktemp -d /tmp/zelbench.XXXXXX)
  wine_prefix "$run" "$root/$win"
  cp "$win/zeloggplays100.ocx" "$win/wine_bench.exe" "$win/wine_decode.exe" "$win/refdecode.exe" "$run/"
  build/bench/makefixtures --dense 60 "$run/sixty.ogg" >/dev/null
  build/bench/makefixtures --dense 300 "$run/long.ogg" >/dev/null
  mkdir -p "$run/fx" && build/bench/makefixtures "$run/fx" >/dev/null
  pulse_start "$run" || exit 1
  (cd "$run" && wine regsvr32 /s zeloggplays100.ocx)
  # 300 s of dense stereo five times over, five rounds taken in turn; the
  # median ratio.
  cpu() { (cd "$run" && wine wine_decode.exe "$1" "$(winpath "$run/long.ogg")" 5 2>/dev/null | tr -d '\r' | awk '{print $3}'); }
  local ratios="" round e f
  for round in 1 2 3 4 5; do
    e=$(cpu engine); f=$(cpu floor)
    ratios="$ratios $(awk -v e="$e" -v f="$f" 'BEGIN { printf "%.4f", e / f }')"
    echo "decode cost, $edition under Wine, round $round: engine $e s, bare loop $f s of CPU"
  done
  figure[$edition.decode]=$(echo "$ratios" | tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n 3p | awk '{ printf "%.3f", $1 }')
  echo "under Wine ($edition), 60 s dense stereo file:"
  # One step of wine_bench; what Wine prints beside it is kept in wine.err.
  step() { (cd "$run" && wine wine_bench.exe "$@" 2>>"$run/wine.err") | tr -d '\r'; }
  local line
  line=$(step cpu "$(winpath "$run/sixty.ogg")" | grep -E '^cpu')
  echo "$line"
  figure[$edition.cpu]=$(grep -m1 '^cpu [0-9.]* s' <<<"$line" | awk '{print $8 " %"}')
  figure[$edition.control]=$(grep -m1 '^cpu by thread' <<<"$line" | awk '{printf "%.3f %%", $7 + $11}')
  line=$(step wave 60 | grep -E '^wave')
  echo "$line"
  figure[$edition.wave]=$(awk '{print $8 " %"}' <<<"$line")
  line=$(step cancel "$(winpath "$run/sixty.ogg")" 20 | grep -E '^cancel')
  echo "$line"
  figure[$edition.cancel]="$(awk '{print $3}' <<<"$line") ms"
  line=$(step start "$(winpath "$run/sixty.ogg")" "$(winpath "$run/capture.raw")" 20 | grep -E '^start: median')
  echo "$line"
  figure[$edition.start]="$(awk '{print $3}' <<<"$line") ms"
  # The same two for ZelOggPlayEx, whose sound goes to the card's mix: the
  # output lingers between the trials, so each starts on a running output.
  line=$(step cancel "$(winpath "$run/sixty.ogg")" 20 ex | grep -E '^cancel')
  echo "ZelOggPlayEx $line"
  figure[$edition.cancelex]="$(awk '{print $3}' <<<"$line") ms"
  line=$(step start "$(winpath "$run/sixty.ogg")" "$(winpath "$run/capture.raw")" 20 ex | grep -E '^start: median')
  echo "ZelOggPlayEx $line"
  figure[$edition.startex]="$(awk '{print $3}' <<<"$line") ms"
  # Several ZelOggPlayEx controls at once: the CPU a stream with 1, 4 and
  # 16 playing, a second sound's start while a first plays, and the memory
  # of 16 streams over 500 files started and cancelled.
  local n one
  # Wine counts CPU time in 10 ms ticks: the fewer the streams, the longer
  # the run, so that each figure is some 15 ticks or more.
  local -A seconds=([1]=55 [4]=30 [16]=20 [32]=15)  # the file lasts 60 s
  local process1
  for n in 1 4 16 32; do
    line=$(step streams "$(winpath "$run/sixty.ogg")" "$n" "${seconds[$n]}" | grep -E '^streams' || true)
    echo "$line"
    [ "$n" = 1 ] && one=$(awk '{print $11}' <<<"$line") && process1=$(awk '{print $17}' <<<"$line" | tr -d ';')
    figure[$edition.streams$n]=$(awk -v one="${one:-0}" '{ if (one > 0) printf "%.2f", $11 / one; else print "?" }' <<<"$line")
    figure[$edition.process$n]="$(awk '{print $17}' <<<"$line" | tr -d ';') %"
    figure[$edition.processratio$n]=$(awk -v one="${process1:-0}" '{ p = $17; sub(";", "", p); if (one > 0) printf "%.2f", p / one; else print "?" }' <<<"$line")
    figure[$edition.render$n]="$(awk '{print $21}' <<<"$line") %"
  done
  # The same 16 sounds each panned, at rate 1.01 and fading: what the mix's
  # stages add to a sound's cost. Taken in turns beside 16 plain ones, the
  # pace of a shared machine drifting over a run by more than the stages
  # cost.
  local plain=0 staged=0 turn
  for turn in 1 2 3; do
    line=$(step streams "$(winpath "$run/sixty.ogg")" 16 15 | grep -E '^streams' || true)
    plain=$(awk -v sum="$plain" '{ print sum + $11 }' <<<"$line")
    line=$(step streams "$(winpath "$run/sixty.ogg")" 16 15 staged | grep -E '^streams' || true)
    echo "staged: $line"
    staged=$(awk -v sum="$staged" '{ print sum + $11 }' <<<"$line")
  done
  figure[$edition.staged16]=$(awk -v plain="$plain" -v staged="$staged" \
    'BEGIN { if (plain > 0) printf "%.2f", staged / plain; else print "?" }')
  line=$(step second "$(winpath "$run/fx/tone.ogg")" "$(winpath "$run/fx/tone1000.ogg")" \
     "$(winpath "$run/capture.raw")" 20 | grep -E '^second' || true)
  echo "$line"
  figure[$edition.second]="$(awk '{print $3}' <<<"$line") ms"
  # ZelOggPlayEx from memory beside from a file, and what its open's wait
  # for the headers costs beside ZelOggPlay's open, which does not wait.
  line=$(step memory "$(winpath "$run/sixty.ogg")" "$(winpath "$run/capture.raw")" 20 | grep -E '^memory' || true)
  echo "$line"
  figure[$edition.memory]="$(awk '{print $6}' <<<"$line") ms"
  figure[$edition.openex]="$(awk '{print $14}' <<<"$line") ms"
  figure[$edition.openplain]="$(awk '{print $17}' <<<"$line") ms"
  # The queue: a file and one queued after it, from silence; the seam is
  # looked for in the capture from where the step began.
  line=$(step queue "$(winpath "$run/fx/short.ogg")" "$(winpath "$run/fx/stereo44100.ogg")" \
     "$(winpath "$run/capture.raw")" | grep -E '^queue: from' || true)
  echo "$line"
  local from
  from=$(awk '{print $4}' <<<"$line")
  (cd "$run" && wine refdecode.exe "$(winpath "$run/fx/short.ogg")" "$(winpath "$run/short.raw")" &&
   wine refdecode.exe "$(winpath "$run/fx/stereo44100.ogg")" "$(winpath "$run/second.raw")") >/dev/null 2>&1
  # The sound server writes its pipe a second or so behind: wait until the
  # capture holds both files and a second more.
  local need=$(( ${from:-0} + $(stat -c %s "$run/short.raw") + $(stat -c %s "$run/second.raw") + 176400 ))
  for _ in $(seq 100); do [ "$(stat -c %s "$run/capture.raw")" -ge "$need" ] && break; sleep 0.1; done
  tail -c +$(( ${from:-0} + 1 )) "$run/capture.raw" > "$run/queued.raw"
  line=$(build/bench/capturecompare --seam "$run/short.raw" "$run/second.raw" "$run/queued.raw" || true)
  echo "$line"
  figure[$edition.seam]=$(grep -q '^ok' <<<"$line" && echo "0 frames" || echo "FAIL")
  # Marker events against the place heard when they came.
  line=$(step markers "$(winpath "$run/fx/tone.ogg")" 5 | grep -E '^markers' || true)
  echo "$line"
  figure[$edition.markers]="$(awk '{print $9 "/" $15}' <<<"$line") ms"
  # A stream from the tests' own web server: a station's (paced at 40 kB/s,
  # the dense file's rate) to its first sound, and the dense file from the
  # server beside the same from disk.
  local webport webpid
  webport=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  python3 tests/wine/webserver.py "$webport" "$run" > "$run/web.log" 2>&1 &
  webpid=$!
  for _ in $(seq 100); do grep -q ready "$run/web.log" && break; sleep 0.05; done
  line=$(step web "http://127.0.0.1:$webport/live/sixty.ogg?bps=40000" "http://127.0.0.1:$webport/files/sixty.ogg" \
     "$(winpath "$run/sixty.ogg")" "$(winpath "$run/capture.raw")" 20 | grep -E '^web' || true)
  echo "$line"
  figure[$edition.urlstart]="$(awk '{print $8}' <<<"$line") ms"
  figure[$edition.urlcpu]=$(awk '{print $NF}' <<<"$line")
  # Twenty minutes of a station in five: its songs one after another, sent
  # as fast as the control takes them and played at Rate 4, the server
  # ending its stream every minute of it (the control connects again); the
  # heap and handles as it goes.
  for _ in $(seq 10); do cat "$run/fx/song1.ogg" "$run/fx/song2.ogg"; done > "$run/station.ogg"
  line=$(step station "http://127.0.0.1:$webport/live/station.ogg?bps=100000000" 300 | grep -E '^station' || true)
  kill "$webpid" 2>/dev/null; wait "$webpid" 2>/dev/null || true  # it ends by that signal: no failure
  echo "$line"
  figure[$edition.stationheap]=$(sed -nE 's/.*heap ([0-9]+) -> ([0-9]+).*/\1 \2/p' <<<"$line" | awk '{ printf "%+d B", $2 - $1 }')
  figure[$edition.stationhandles]=$(sed -nE 's/.*handles ([0-9]+) -> ([0-9]+).*/\1 \2/p' <<<"$line" | awk '{ printf "%+d", $2 - $1 }')
  grep -q "ended early" <<<"$line" && figure[$edition.stationheap]="ended early"
  line=$(step churn "$(winpath "$run/sixty.ogg")" 16 500 | grep -E '^churn' || true)
  echo "$line"
  figure[$edition.churn]=$(awk '{ printf "%+d B", $13 - $11 }' <<<"$line")
  figure[$edition.churnhandles]=$(awk '{ printf "%+d", $18 - $16 }' <<<"$line")
  wine_stop; pulse_stop; rm -rf "$run"; run=
  echo
}
if wine_usable; then
  echo
  if [ "$ZEL_WINE_BUILD" = win32 ]; then
    measure win32 build/win32
  else
    echo "x86 edition under Wine: skipped: this machine cannot execute 32-bit code"
  fi
  measure win64 build/win64
  # Before: PlayFile waited for Timer3's first tick to start the sound, and
  # cancel and the worker slept 50 ms at a time (figures of the x86 edition).
  show() { printf '%-42s %10s %10s %10s %10s\n' "$@"; }
  show "under Wine, medians" "before" "x86" "x64" "target"
  show "decode cost, engine / bare loop" "" "${figure[win32.decode]:-skipped}" "${figure[win64.decode]}" "<= 1.05"
  show "CPU of playback, whole process" "" "${figure[win32.cpu]:-skipped}" "${figure[win64.cpu]}" ""
  show "... of it the control and its engine" "" "${figure[win32.control]:-skipped}" "${figure[win64.control]}" "< 1 %"
  show "CPU of wave-out alone (sound system)" "" "${figure[win32.wave]:-skipped}" "${figure[win64.wave]}" ""
  show "PlayFile to the first sound heard" "105 ms" "${figure[win32.start]:-skipped}" "${figure[win64.start]}" "< 30 ms"
  show "CancelPlayback" "50.2 ms" "${figure[win32.cancel]:-skipped}" "${figure[win64.cancel]}" "< 10 ms"
  # Before the mixer a ZelOggPlayEx sound had a wave-out device of its own.
  show "PlayFile to the first sound, ZelOggPlayEx" "15-26 ms" "${figure[win32.startex]:-skipped}" "${figure[win64.startex]}" "<= 20 ms"
  show "CancelPlayback, ZelOggPlayEx" "11-14 ms" "${figure[win32.cancelex]:-skipped}" "${figure[win64.cancelex]}" "<= 5 ms"
  # ZelOggPlayEx streams: the control and engine's CPU a stream against one
  # stream alone; the whole process beside it (Wine's own sound path costs
  # some 2 to 3 % of a core a stream, the control a small part of that).
  for n in 4 16 32; do
    show "CPU a stream, $n streams / 1 stream" "" "${figure[win32.streams$n]:-skipped}" "${figure[win64.streams$n]}" "<= 1.2"
  done
  # Before the mixer each stream had a wave-out device of its own: 16
  # streams cost the whole process 9 times one stream.
  for n in 1 4 16 32; do
    show "... whole process, $n streams" "" "${figure[win32.process$n]:-skipped}" "${figure[win64.process$n]}" ""
  done
  show "whole process, 32 streams / 1 stream" "9 (16)" "${figure[win32.processratio32]:-skipped}" \
    "${figure[win64.processratio32]}" "<= 2"
  show "a stream panned, rated, fading / plain, 16" "" "${figure[win32.staged16]:-skipped}" "${figure[win64.staged16]}" "<= 1.2"
  show "render thread, share of each period, 32" "" "${figure[win32.render32]:-skipped}" "${figure[win64.render32]}" ""
  show "second sound while one plays, to heard" "12.8 ms" "${figure[win32.second]:-skipped}" "${figure[win64.second]}" "<= 10 ms"
  show "queue seam: frames between the two files" "" "${figure[win32.seam]:-skipped}" "${figure[win64.seam]}" "0"
  show "Marker after its sound heard, median/most" "" "${figure[win32.markers]:-skipped}" "${figure[win64.markers]}" "<= 100 ms"
  show "PlayUrl to the first sound, a station" "" "${figure[win32.urlstart]:-skipped}" "${figure[win64.urlstart]}" "<= 1050 ms"
  show "CPU from a web server / from disk" "" "${figure[win32.urlcpu]:-skipped}" "${figure[win64.urlcpu]}" "<= 1.1"
  show "heap, a station 20 minutes (Rate 4)" "" "${figure[win32.stationheap]:-skipped}" "${figure[win64.stationheap]}" "flat"
  show "handles, the same" "" "${figure[win32.stationhandles]:-skipped}" "${figure[win64.stationhandles]}" "flat"
  show "heap, 500 controls replaced, 16 playing" "" "${figure[win32.churn]:-skipped}" "${figure[win64.churn]}" "flat"
  show "handles, the same" "" "${figure[win32.churnhandles]:-skipped}" "${figure[win64.churnhandles]}" "flat"
  show "PlayMemory to the first sound heard" "" "${figure[win32.memory]:-skipped}" "${figure[win64.memory]}" "< 20 ms"
  show "OpenFile returns, ZelOggPlayEx" "" "${figure[win32.openex]:-skipped}" "${figure[win64.openex]}" "< 10 ms"
  show "OpenFile returns, ZelOggPlay" "" "${figure[win32.openplain]:-skipped}" "${figure[win64.openplain]}" ""
else
  echo
  echo "under Wine: skipped: Wine cannot run here"
fi
exit 0

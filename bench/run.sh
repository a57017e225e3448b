#!/usr/bin/env bash
# The benchmarks, each a figure measured side by side in one run:
# - decode cost, counted in instructions by callgrind on one generated 30 s
#   dense stereo file: the engine's worker on a device that never waits
#   against a bare libvorbis synthesis loop with no conversion (the floor),
#   and against oggdec writing to /dev/null, all with Debian's libvorbis;
# - the sizes of the shipped libraries;
# - under Wine: the decode cost of the Windows build in CPU time, and the
#   control's CPU share, cancel time and start latency in real playback.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh
dpkg-query -W -f='${Status}' vorbis-tools 2>/dev/null | grep -q 'install ok installed' ||
  apt-get install -y -qq --no-install-recommends vorbis-tools >/dev/null
. tools/build.sh
build build/bench -DCMAKE_BUILD_TYPE=Release -DZEL_SANITIZE=
work=$(mktemp -d)
run=
cleanup() {
  local status=$?
  set +e  # stopping what is already gone is no failure
  if [ -n "$run" ]; then wine_stop; pulse_stop; rm -rf "$run"; fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
build/bench/makefixtures --dense 30 "$work/dense.ogg"
count() {
  valgrind --tool=callgrind --callgrind-out-file="$work/cg.$1" build/bench/bench_decode "$1" "$work/dense.ogg" \
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

# Footprint of the shipped 32-bit libraries.
build_windows >/dev/null || exit 1
echo
printf '%-34s %15s %15s\n' "footprint" "bytes" "/ 512 KB"
size() { awk -v n="$1" -v b="$(stat -c %s "$2")" 'BEGIN { printf "%-34s %15d %15.3f\n", n, b, b / 524288 }'; }
size "zeloggplays100.ocx (engine inside)" build/win32/zeloggplays100.ocx
size "zelov.dll" build/win32/zelov.dll

# The control under Wine (the 64-bit build where 32-bit code cannot run):
# CPU time of real-time playback through the control, the same for
# wave-out alone (the sound system's share), and how long CancelPlayback
# blocks.
. tools/winehost.sh
if wine_usable; then
  win=build/win32
  if [ "$ZEL_WINE_BUILD" = win64 ]; then
    build_windows64 >/dev/null || exit 1
    win=build/win64
  else
    build_windows >/dev/null || exit 1
  fi
  run=$(mktemp -d /tmp/zelbench.XXXXXX)
  wine_prefix "$run" "$root/$win"
  cp "$win/zeloggplays100.ocx" "$win/wine_bench.exe" "$run/"
  build/bench/makefixtures --dense 60 "$run/sixty.ogg" >/dev/null
  pulse_start "$run" || exit 1
  (cd "$run" && wine regsvr32 /s zeloggplays100.ocx)
  # Decode cost of the Windows build: the engine's worker on a device that
  # never waits against the bare loop built the same way, 300 s of dense
  # stereo five times over, five rounds taken in turn; the median ratio.
  cp "$win/wine_decode.exe" "$run/"
  build/bench/makefixtures --dense 300 "$run/long.ogg" >/dev/null
  cpu() { (cd "$run" && wine wine_decode.exe "$1" "$(winpath "$run/long.ogg")" 5 2>/dev/null | tr -d '\r' | awk '{print $3}'); }
  ratios=""
  for round in 1 2 3 4 5; do
    e=$(cpu engine); f=$(cpu floor)
    ratios="$ratios $(awk -v e="$e" -v f="$f" 'BEGIN { printf "%.4f", e / f }')"
    echo "decode cost, $ZEL_WINE_BUILD build under Wine, round $round: engine $e s, bare loop $f s of CPU"
  done
  echo "$ratios" | tr ' ' '\n' | sed '/^$/d' | sort -n | sed -n 3p |
    awk '{ printf "decode cost, engine / bare loop (median of 5): %.3f\n", $1 }'
  echo
  echo "under Wine ($ZEL_WINE_BUILD build), 60 s dense stereo file:"
  (cd "$run" && wine wine_bench.exe cpu "$(winpath "$run/sixty.ogg")" 2>/dev/null | tr -d '\r' | grep -E '^cpu')
  (cd "$run" && wine wine_bench.exe wave 60 2>/dev/null | tr -d '\r' | grep -E '^wave')
  cancel=$(cd "$run" && wine wine_bench.exe cancel "$(winpath "$run/sixty.ogg")" 20 2>/dev/null | tr -d '\r' | grep -E '^cancel')
  start=$(cd "$run" && wine wine_bench.exe start "$(winpath "$run/sixty.ogg")" "$(winpath "$run/capture.raw")" 20 \
     2>/dev/null | tr -d '\r' | grep -E '^start: median')
  echo "$cancel"
  echo "$start"
  # Before: PlayFile waited for Timer3's first tick to start the sound, and
  # cancel and the worker slept 50 ms at a time.
  echo
  printf '%-40s %10s %10s %10s\n' "latency under Wine, medians" "before" "now" "target"
  printf '%-40s %10s %10s %10s\n' "PlayFile to the first sound heard" "105 ms" "$(awk '{print $3}' <<<"$start") ms" "< 30 ms"
  printf '%-40s %10s %10s %10s\n' "CancelPlayback" "50.2 ms" "$(awk '{print $3}' <<<"$cancel") ms" "< 10 ms"
else
  echo
  echo "under Wine: skipped: Wine cannot run here"
fi
exit 0

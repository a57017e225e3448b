#!/usr/bin/env bash
# Decode cost, counted in instructions by callgrind on one generated 30 s
# dense stereo file: the engine's worker on a device that never waits
# against a bare libvorbis synthesis loop with no conversion (the floor).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh
. tools/build.sh
build build/bench -DCMAKE_BUILD_TYPE=Release -DZEL_SANITIZE=
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/bench/makefixtures --dense 30 "$work/dense.ogg"
count() {
  valgrind --tool=callgrind --callgrind-out-file="$work/cg.$1" build/bench/bench_decode "$1" "$work/dense.ogg" \
    2>&1 >/dev/null | awk '/Collected :/ {print $4}'
}
engine=$(count engine)
floor=$(count floor)
printf '%-34s %15s %15s\n' "" "instructions" "per s of audio"
printf '%-34s %15d %15d\n' "engine worker (device never waits)" "$engine" $((engine / 30))
printf '%-34s %15d %15d\n' "bare libvorbis loop (floor)" "$floor" $((floor / 30))
awk -v e="$engine" -v f="$floor" 'BEGIN { printf "engine / floor: %.3f\n", e / f }'

#!/usr/bin/env bash
# A short, repeatable fuzzing run of the engine's playback path, seeded with
# the generated fixtures: a fixed number of inputs from a fixed seed.
#   tests/fuzz/run.sh FUZZ-BUILD FIXTURES [RUNS]
# A crash, a hang over one second or a leak fails it; the input that did it
# is kept in build/logs/fuzz-artifacts/.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd); fixtures=$(cd "$2" && pwd); runs=${3:-3000}
work=$(mktemp -d /tmp/zelfuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$here/../../build/logs/fuzz-artifacts"
artifacts=$(cd "$here/../../build/logs/fuzz-artifacts" && pwd)
for f in "$fixtures"/*; do
  [ "$(stat -c %s "$f")" -le 65536 ] && cp "$f" "$work/corpus/"
done
# Full stacks, so that the suppression of libvorbisfile's own leak matches.
ASAN_OPTIONS=fast_unwind_on_malloc=0 LSAN_OPTIONS="suppressions=$here/../support/lsan.supp" \
  "$build/decode_fuzz" -seed=1 -runs="$runs" -timeout=1 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$artifacts/" "$work/corpus" > "$work/fuzz.log" 2>&1
rc=$?
grep -E "^#[0-9]+[[:space:]]+DONE" "$work/fuzz.log" | tail -n1
if [ "$rc" = 0 ]; then
  echo "fuzz: 1 passed, 0 failed"
else
  tail -n 40 "$work/fuzz.log"
  echo "fuzz: 0 passed, 1 failed"
  exit 1
fi

#!/usr/bin/env bash
# Sets up what is missing on a Debian machine (as root), builds everything
# and runs every test: the engine's tests natively under AddressSanitizer
# with UndefinedBehaviorSanitizer and under ThreadSanitizer, the checks of
# the shipped Windows library, and the tests under Wine.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh || exit 1
. tools/build.sh

# libvorbisfile (as Debian ships it) loses a few bytes of its own on a
# chained file with a broken later link; leaks of ours still fail a suite.
export LSAN_OPTIONS="suppressions=$root/tests/support/lsan.supp"

passed=0; failed=0; skipped=0
count() {  # count LOG: adds the test counts a suite printed
  local log=$1 line
  if line=$(grep -E '^\[  PASSED  \] [0-9]+ test' "$log" | tail -n1) && [ -n "$line" ]; then
    passed=$((passed + $(awk '{print $4}' <<<"$line")))
    line=$(grep -E '^ *[0-9]+ FAILED TESTS?' "$log" | tail -n1)
    [ -n "$line" ] && failed=$((failed + $(awk '{print $1}' <<<"$line")))
  elif line=$(grep -E '^[a-z]+: [0-9]+ passed, [0-9]+ failed$' "$log" | tail -n1) && [ -n "$line" ]; then
    line=${line#*: }
    passed=$((passed + ${line%% passed*}))
    line=${line#*passed, }
    failed=$((failed + ${line%% failed*}))
  fi
}
suite() {  # suite NAME COMMAND...: runs one suite, shows its output, counts it
  local name=$1; shift
  local log="build/logs/$name.log"
  echo "== $name"
  "$@" > "$log" 2>&1
  local rc=$?
  grep -v -E '^\[ +(RUN|OK) +\]' "$log" | tail -n 40
  # The tail may not reach a check that failed early in a long suite, so
  # every failure line is also kept for the list printed at the end.
  grep -E '^([a-z0-9-]+: )?FAIL|^\[  FAILED  \]' "$log" | sed "s/^/$name: /" >> build/logs/failures
  if [ "$rc" = 77 ]; then
    skipped=$((skipped + 1))
    return
  fi
  local before=$failed
  count "$log"
  if [ "$rc" != 0 ] && [ "$failed" = "$before" ]; then
    failed=$((failed + 1))  # it broke before it could count its failures
    echo "$name exited with $rc" | tee -a build/logs/failures
  fi
}

mkdir -p build/logs
: > build/logs/failures
set -o pipefail
build build/asan -DCMAKE_BUILD_TYPE=Debug -DZEL_SANITIZE=address,undefined || exit 1
build build/tsan -DCMAKE_BUILD_TYPE=Debug -DZEL_SANITIZE=thread || exit 1
CC=clang CXX=clang++ BUILD_TARGET=decode_fuzz \
  build build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEL_SANITIZE=address,undefined -DZEL_FUZZ=ON || exit 1
build_windows || exit 1
build_windows64 || exit 1
rm -rf build/fixtures && mkdir -p build/fixtures && build/asan/makefixtures build/fixtures >/dev/null || exit 1

suite engine-asan-ubsan build/asan/enginetests
suite bridge-asan-ubsan build/asan/bridgetests
suite control-asan-ubsan build/asan/controltests
# ThreadSanitizer needs the address layout it was built for.
suite engine-tsan setarch "$(uname -m)" -R build/tsan/enginetests
suite control-tsan setarch "$(uname -m)" -R build/tsan/controltests
suite fuzz bash tests/fuzz/run.sh build/fuzz build/fixtures
# Both editions: the same checks and the same Wine suite, run once for each.
suite pe-x86 bash tests/pe/check_pe.sh build/win32/zelov.dll
suite pe-x64 bash tests/pe/check_pe.sh build/win64/zelov64.dll
suite ocx-x86 bash tests/pe/check_ocx.sh build/win32/zeloggplays100.ocx build/win32/zelov.dll
suite ocx-x64 bash tests/pe/check_ocx.sh build/win64/zeloggplays100.ocx build/win64/zelov64.dll
suite release bash tests/release/check_release.sh
suite wine-x86 bash tests/wine/run.sh build/win32 build/asan build/fixtures
suite wine-x64 bash tests/wine/run.sh build/win64 build/asan build/fixtures
suite coexistence bash tests/wine/coexist.sh build/win32 build/win64 build/fixtures

echo
if [ -s build/logs/failures ]; then
  echo "what failed:"
  head -n 60 build/logs/failures
  echo
fi
echo "tests: $passed passed, $failed failed, $skipped skipped"
[ "$failed" = 0 ]

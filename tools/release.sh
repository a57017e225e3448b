#!/usr/bin/env bash
# Builds both editions and writes the release package
# build/release/zeloggplay-VERSION.zip (tools/package.sh says what it holds).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh
. tools/build.sh
build_windows
build_windows64
bash tools/package.sh build/release

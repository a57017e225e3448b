#!/usr/bin/env bash
# Builds both editions and writes the release package
# build/release/zeloggplay-VERSION.zip (tools/package.sh says what it holds):
#   tools/release.sh [--sign PKCS12-FILE PASSWORD-FILE]
# With a certificate, the engine is signed before the control library
# embeds it and the control library once it is linked (tools/sign.sh); the
# signed editions are built in build/signed/ and the package is written to
# build/release-signed/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
sign=()
if [ "${1:-}" = --sign ]; then
  [ $# = 3 ] && [ -f "$2" ] && [ -f "$3" ] || { echo "usage: tools/release.sh [--sign PKCS12-FILE PASSWORD-FILE]"; exit 2; }
  sign=(-DZEL_SIGN_PKCS12="$(realpath "$2")" -DZEL_SIGN_PASSWORD_FILE="$(realpath "$3")")
fi
bash tools/setup-debian.sh
. tools/build.sh
if [ ${#sign[@]} = 0 ]; then
  build_windows
  build_windows64
  bash tools/package.sh build/release
else
  # Only what the package holds: the control library (with its engine and
  # type libraries) and the files configured beside it.
  BUILD_TARGET=zeloggplays100 build_windows build/signed/win32 "${sign[@]}"
  BUILD_TARGET=zeloggplays100 build_windows64 build/signed/win64 "${sign[@]}"
  ZEL_PACKAGE_BUILDS=build/signed bash tools/package.sh build/release-signed
fi

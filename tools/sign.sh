#!/usr/bin/env bash
# Signs a Windows library in place with an Authenticode signature (SHA-256):
#   tools/sign.sh FILE PKCS12-FILE PASSWORD-FILE
# The signing time is the release's fixed date, so that the same sources and
# certificate give the same bytes; ZEL_SIGN_TIMESTAMP_URL names an RFC 3161
# time-stamp server, whose counter-signature keeps the signature valid after
# the certificate expires (a release should have one; it needs the network).
set -euo pipefail
file=$1 pkcs12=$2 password=$3
command -v osslsigncode >/dev/null || { echo "sign.sh: osslsigncode is missing (apt-get install osslsigncode)"; exit 1; }
stamp=()
[ -n "${ZEL_SIGN_TIMESTAMP_URL:-}" ] && stamp=(-ts "$ZEL_SIGN_TIMESTAMP_URL")
osslsigncode sign -pkcs12 "$pkcs12" -readpass "$password" -h sha256 -n "ZelOggPlay" \
  -time 1767225600 "${stamp[@]}" -in "$file" -out "$file.signed" > /dev/null
mv "$file.signed" "$file"

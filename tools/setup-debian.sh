#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine (run as root).
# Idempotent: it does nothing, quietly, when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ pkg-config dpkg-dev
  libgtest-dev libogg-dev libvorbis-dev libopus-dev libopusfile-dev libopusenc-dev libspeexdsp-dev libflac-dev libkissfft-dev
  g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 libwine-dev
  pulseaudio pulseaudio-utils
  valgrind python3
  clang libclang-rt-14-dev
  fp-compiler fpc-source-3.2.2
  osslsigncode openssl
  icecast2 ezstream
)

need_update=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

# apt-get source needs the source lists; the machine may carry only binary ones.
src_list=/etc/apt/sources.list.d/project-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
  else
    grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/project-deb-src.list
  fi
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ "$need_update" = 1 ]; then
  echo "setup: installing ${missing[*]:-(package lists only)}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

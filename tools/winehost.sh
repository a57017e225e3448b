# Shell functions for running the 32-bit Windows build under Wine with a
# private PulseAudio daemon as the sound card. Sourced by the demo and the
# Wine tests; every function works inside one run folder of the caller's.

export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Whether 32-bit Windows programs can run here. Some virtual machines cannot
# execute 32-bit x86 code at all; there Wine works only under qemu-user
# emulation, which takes many minutes a start, so it is used only when
# ZEL_WINE_EMULATED=1 asks for it.
wine_usable() {
  [ -x /usr/lib/wine/wine ] || return 1
  if grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
    [ "${ZEL_WINE_EMULATED:-}" = 1 ]
    return
  fi
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
  [ "${ZEL_WINE_EMULATED:-}" = 1 ] || return 1
  # Run 32-bit programs through qemu-user from now on (needs root).
  command -v qemu-i386-static >/dev/null || apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
  mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > /proc/sys/fs/binfmt_misc/register
}

# A fresh prefix for this run in $1, copied from a template made once per
# build folder ($2).
# Message boxes need a display driver; Wine's null driver needs no display.
wine_prefix() {
  local run=$1 cache
  cache=$(cd "$2" && pwd) || return 1
  if [ ! -f "$cache/wine-template/system.reg" ]; then
    rm -rf "$cache/wine-template"
    WINEPREFIX="$cache/wine-template" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$cache/wine-template" wineserver -w
  fi
  if [ ! -f "$cache/wine-template/null-display" ]; then
    WINEPREFIX="$cache/wine-template" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 &&
      touch "$cache/wine-template/null-display"
    WINEPREFIX="$cache/wine-template" wineserver -w
  fi
  cp -a "$cache/wine-template" "$run/prefix"
  export WINEPREFIX="$run/prefix"
}

wine_stop() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
}

# Starts a private PulseAudio daemon whose only sink is a pipe; what the
# sink plays is copied into $1/capture.raw (44100 Hz, stereo, 16-bit).
pulse_start() {
  local run=$1
  export XDG_RUNTIME_DIR="$run/xdg"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  rm -f "$run/sink.fifo"
  pulseaudio --daemonize=yes --exit-idle-time=-1 --system=no -n \
    --load="module-pipe-sink sink_name=capsink file=$run/sink.fifo format=s16le rate=44100 channels=2 use_system_clock_for_timing=yes" \
    --load="module-native-protocol-unix" 2>"$run/pulse.log" || return 1
  for _ in $(seq 100); do [ -p "$run/sink.fifo" ] && break; sleep 0.05; done
  cat "$run/sink.fifo" > "$run/capture.raw" &
  PULSE_CAPTURE_PID=$!
}

pulse_stop() {
  pulseaudio --kill 2>/dev/null
  if [ -n "${PULSE_CAPTURE_PID:-}" ]; then
    kill "$PULSE_CAPTURE_PID" 2>/dev/null
    wait "$PULSE_CAPTURE_PID" 2>/dev/null
    PULSE_CAPTURE_PID=
  fi
  unset XDG_RUNTIME_DIR
}

# A Linux path as Wine's Z: drive sees it.
winpath() { echo "Z:${1//\//\\}"; }

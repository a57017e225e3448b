# Shell functions for running the Windows build under Wine with a private
# PulseAudio daemon as the sound card. Sourced by the demo and the
# Wine tests; every function works inside one run folder of the caller's.

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Whether this machine executes 32-bit x86 code itself (some virtual
# machines cannot; an emulator left switched on does not count).
runs_32bit() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1 && ! grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386
}

# Whether Windows programs can run here, and which edition's programs run
# first: sets ZEL_WINE_BUILD to win32 (the 32-bit edition) where 32-bit code
# runs, else to win64 (the 64-bit edition), and sets Wine up for it.
# ZEL_WINE_EMULATED=1 runs the 32-bit edition under qemu-user emulation on
# a machine without 32-bit support, which takes many minutes a start.
wine_usable() {
  [ -x /usr/lib/wine/wine ] || [ -x /usr/lib/wine/wine64 ] || return 1
  if runs_32bit; then
    wine_edition win32
    return 0
  fi
  if [ "${ZEL_WINE_EMULATED:-}" = 1 ]; then
    # Run 32-bit programs through qemu-user from now on (needs root).
    command -v qemu-i386-static >/dev/null || apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    mountpoint -q /proc/sys/fs/binfmt_misc || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
      echo 1 > /proc/sys/fs/binfmt_misc/qemu-i386
    else
      echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        > /proc/sys/fs/binfmt_misc/register
    fi
    wine_edition win32
    return 0
  fi
  # Emulation left switched on by an earlier run would make 64-bit Wine
  # start its 32-bit helpers under qemu: minutes instead of seconds.
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo 0 > /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
  [ -x /usr/lib/wine/wine64 ] && /usr/lib/wine/wine64 --version >/dev/null 2>&1 || return 1
  wine_edition win64
}

# Sets Wine up for one edition's programs in this shell and its children:
# win32, a 32-bit prefix; win64, a 64-bit prefix (which also runs 32-bit
# programs where 32-bit code runs), with "wine" and "wineserver" the 64-bit
# ones.
wine_edition() {
  local shims="${TMPDIR:-/tmp}/zelwine64-bin"
  if [ "$1" = win32 ]; then
    PATH=$(tr ':' '\n' <<<"$PATH" | grep -vx "$shims" | paste -sd:)
    unset WINELOADER
    export ZEL_WINE_BUILD=win32 WINEARCH=win32 PATH
    return 0
  fi
  mkdir -p "$shims"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$shims/wine"
  printf '#!/bin/sh\nexec /usr/lib/wine/wineserver64 "$@"\n' > "$shims/wineserver"
  chmod +x "$shims/wine" "$shims/wineserver"
  case ":$PATH:" in *":$shims:"*) ;; *) export PATH="$shims:$PATH" ;; esac
  export ZEL_WINE_BUILD=win64 WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
}

# A fresh prefix for this run in $1, copied from a template made once per
# build folder ($2).
# Message boxes need a display driver; Wine's null driver needs no display.
# A program that crashes ends at once, its fault line in its output: the
# debugger Wine would start (winedbg --auto) names a program that does not
# exist, since winedbg has been seen to hang with the crashed process.
wine_prefix() {
  local run=$1 cache
  cache=$(cd "$2" && pwd) || return 1
  if [ ! -f "$cache/wine-template/system.reg" ]; then
    rm -rf "$cache/wine-template"
    WINEPREFIX="$cache/wine-template" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$cache/wine-template" wineserver -w
  fi
  # Registry values set once in the template, each marked done by a file.
  template_reg() {  # template_reg MARKER KEY NAME DATA...: each KEY NAME DATA set
    local marker=$cache/wine-template/$1 ok=1; shift
    [ -f "$marker" ] && return
    while [ $# -ge 3 ]; do
      WINEPREFIX="$cache/wine-template" wine reg add "$1" /v "$2" /d "$3" /f >/dev/null 2>&1 || ok=0
      shift 3
    done
    WINEPREFIX="$cache/wine-template" wineserver -w
    if [ "$ok" = 1 ]; then touch "$marker"; fi
  }
  template_reg null-display 'HKCU\Software\Wine\Drivers' Graphics null
  local aedebug='Microsoft\Windows NT\CurrentVersion\AeDebug'
  template_reg no-debugger "HKLM\\Software\\$aedebug" Debugger no-debugger \
    "HKLM\\Software\\Wow6432Node\\$aedebug" Debugger no-debugger
  cp -a "$cache/wine-template" "$run/prefix"
  export WINEPREFIX="$run/prefix"
}

# Stopping what has already gone is no failure, also in a script that
# stops on errors.
wine_stop() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

# Starts a private PulseAudio daemon whose only sink is a pipe; what the
# sink plays is copied into $1/capture.raw (stereo, 16-bit, at 44100 Hz or
# the rate given as $2).
pulse_start() {
  local run=$1 rate=${2:-44100}
  export XDG_RUNTIME_DIR="$run/xdg"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  rm -f "$run/sink.fifo"
  pulseaudio --daemonize=yes --exit-idle-time=-1 --system=no -n \
    --load="module-pipe-sink sink_name=capsink file=$run/sink.fifo format=s16le rate=$rate channels=2 use_system_clock_for_timing=yes" \
    --load="module-native-protocol-unix" 2>"$run/pulse.log" || return 1
  for _ in $(seq 100); do [ -p "$run/sink.fifo" ] && break; sleep 0.05; done
  cat "$run/sink.fifo" > "$run/capture.raw" &
  PULSE_CAPTURE_PID=$!
}

pulse_stop() {
  pulseaudio --kill 2>/dev/null || true  # already gone
  if [ -n "${PULSE_CAPTURE_PID:-}" ]; then
    kill "$PULSE_CAPTURE_PID" 2>/dev/null || true
    wait "$PULSE_CAPTURE_PID" 2>/dev/null || true  # it ends by that signal: no failure
    PULSE_CAPTURE_PID=
  fi
  unset XDG_RUNTIME_DIR
}

# A Linux path as Wine's Z: drive sees it.
winpath() { echo "Z:${1//\//\\}"; }

#!/usr/bin/env bash
# Makes the README's pictures, as Wine draws them under a virtual X server:
# docs/face.png, the control's design-time face on a form, and
# docs/about.png, its About box.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup-debian.sh || exit 1
for p in xvfb xauth imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
    apt-get install -y -qq --no-install-recommends "$p" >/dev/null || exit 1
done
. tools/build.sh
. tools/winehost.sh
wine_usable || { echo "screenshots: Wine cannot run here"; exit 1; }
build_windows || exit 1
win=build/win32
if [ "$ZEL_WINE_BUILD" = win64 ]; then
  build_windows64 || exit 1
  win=build/win64
fi

run=$(mktemp -d /tmp/zelshots.XXXXXX)
xvfb=
cleanup() {
  wine_stop
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$run"
}
trap cleanup EXIT
wine_prefix "$run" "$root/$win"
# A real display this time, drawn by Wine itself (no window manager).
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
display=:$((77 + RANDOM % 100))
Xvfb "$display" -screen 0 480x320x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
cp "$win/zeloggplays100.ocx" "$win/showcase.exe" "$run/"
(cd "$run" && wine regsvr32 /s zeloggplays100.ocx) || exit 1

# Waits for a window of that title to be drawn, then saves the screen area.
shoot() {  # shoot TITLE GEOMETRY OUT
  for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"$1\"" && break
    sleep 0.2
  done
  sleep 1  # let it paint
  import -window root -crop "$2" +repage "$3"
}
(cd "$run" && wine showcase.exe face 30 >/dev/null 2>&1 &)
shoot "Form1" 210x150+35+35 docs/face.png
wineserver -k; wineserver -w
(cd "$run" && wine showcase.exe about >/dev/null 2>&1 &)
shoot "Zel OGG Vorbis Player OCX 1.0.0" 480x320+0+0 docs/about.png
convert docs/about.png -trim +repage docs/about.png
echo "saved docs/face.png and docs/about.png"

#!/bin/sh
# wine-env.sh up|down BUILD_DIR
# up: makes the build tree's 64-bit Wine prefix once, starts one Xvfb display and a persistent
#     wineserver for the test run, and warms Wine up. down: stops both.
set -u
cmd=$1; B=$(cd "$2" && pwd)
# The tree's own loader (build/win: `wine`; its 64-bit twin build/win64: the 64-bit loader).
WINE=$(cat "$B/wine-loader" 2>/dev/null || echo wine)
export WINEPREFIX="$B/wineprefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d;winedbg.exe=d"
export HOME="$B/wine-home" XDG_DATA_HOME="$B/wine-home/.local/share" TMPDIR="$B/wine-tmp"

xvfb_alive() { [ -f "$B/xvfb.pid" ] && kill -0 "$(cat "$B/xvfb.pid")" 2>/dev/null; }

case "$cmd" in
up)
  mkdir -p "$HOME" "$XDG_DATA_HOME" "$TMPDIR"
  if ! xvfb_alive; then
    rm -f "$B/wine-display"
    fifo="$B/xvfb.fd"; rm -f "$fifo"; mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >"$B/xvfb.log" 2>&1 &
    echo $! > "$B/xvfb.pid"
    n=$(head -n1 "$fifo"); rm -f "$fifo"
    [ -n "$n" ] || { echo "wine-env: Xvfb did not start" >&2; exit 1; }
    echo ":$n" > "$B/wine-display"
  fi
  export DISPLAY=$(cat "$B/wine-display")
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating prefix $WINEPREFIX"
    $WINE wineboot -i >/dev/null 2>&1
    # Without a window manager every closed window would wait 2 s for the X server.
    $WINE reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    $WINE reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
  fi
  setsid wineserver -p </dev/null >/dev/null 2>&1
  $WINE cmd /c exit 0 >/dev/null 2>&1
  echo "wine-env: prefix $WINEPREFIX, display $DISPLAY"
  ;;
down)
  wineserver -k >/dev/null 2>&1 || true
  if xvfb_alive; then kill "$(cat "$B/xvfb.pid")" 2>/dev/null || true; fi
  rm -f "$B/xvfb.pid" "$B/wine-display"
  ;;
*) echo "usage: wine-env.sh up|down BUILD_DIR" >&2; exit 2 ;;
esac
exit 0

# Source this file to get a ready Wine for the Windows build:
#   . scripts/winenv.sh        then   wine "$QM_WIN_BUILD/dist/Updater.exe" -runmode=addtask
#   winenv_stop                ends the wineserver and the virtual display
# The prefix lives in build/wineprefix and is initialised once, under a virtual
# display of 1920 x 1080 so that window tests see a known screen. Where 32-bit
# programs can't run (scripts/winbuild.sh), the prefix is a 64-bit one in
# build/wineprefix64, and "wine" means the 64-bit loader: a folder of small
# wrappers comes first on PATH, since Debian's own wrapper always picks the
# 32-bit loader when it is installed.
_qm_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$_qm_root/scripts/winbuild.sh"
if [ "$QM_WIN_BITS" = 32 ]; then
  export WINEPREFIX="$_qm_root/build/wineprefix"
  export WINEARCH=win32
else
  export WINEPREFIX="$_qm_root/build/wineprefix64"
  export WINEARCH=win64
  export WINELOADER=/usr/lib/wine/wine64
  export WINESERVER=/usr/lib/wine/wineserver64
  _qm_winebin="$_qm_root/build/winebin64"
  mkdir -p "$_qm_winebin"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$_qm_winebin/wine"
  chmod +x "$_qm_winebin/wine"
  # wineboot, winecfg and the like start "wine-stable".
  ln -sf wine "$_qm_winebin/wine-stable"
  ln -sf wine "$_qm_winebin/wine64"
  case ":$PATH:" in *":$_qm_winebin:"*) ;; *) export PATH="$_qm_winebin:$PATH" ;; esac
fi
export WINEDEBUG=-all
# Never offer to install Mono or Gecko.
export WINEDLLOVERRIDES="mscoree=;mshtml="

_qm_started_xvfb=""
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  for n in $(seq 91 120); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
      _qm_started_xvfb=$!
      export DISPLAY=":$n"
      for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
      break
    fi
  done
fi

mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/.qm-ready" ]; then
  # No persistent server yet: waiting for a persistent one would never end.
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
  wineserver -p || true
  # A crash ends the process instead of waiting on a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  touch "$WINEPREFIX/.qm-ready"
else
  # A server an interrupted earlier run left for this prefix is taken over
  # (and ended by winenv_stop with the rest).
  wineserver -p || true
fi
wine net start Schedule >/dev/null 2>&1 || true
# One desktop for the whole session, started here so that it holds no test's
# output open (common/tests/support/DesktopHold.cpp says why); there only once
# the build is.
if [ -n "${QM_WIN_BUILD:-}" ] && [ -f "$QM_WIN_BUILD/testbin/qm_desktop_hold.exe" ]; then
  wine "$QM_WIN_BUILD/testbin/qm_desktop_hold.exe" </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 50); do pgrep -f 'explorer.exe /desktop' >/dev/null && break; sleep 0.1; done
fi

winenv_stop() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  if [ -n "$_qm_started_xvfb" ]; then
    kill "$_qm_started_xvfb" 2>/dev/null || true
    wait "$_qm_started_xvfb" 2>/dev/null || true
    _qm_started_xvfb=""
  fi
}

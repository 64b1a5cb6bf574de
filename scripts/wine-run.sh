#!/usr/bin/env bash
# Runs a Windows program under wine for the tests: a prefix of the build's own,
# no debug chatter, and one wineserver kept running.
#   scripts/wine-run.sh PROGRAM [ARG...]   run it
#   scripts/wine-run.sh --warm             create the prefix if need be, start
#                                          the wineserver and wine's services
#   scripts/wine-run.sh --prefix           only create the prefix, with wine's
#                                          X11 driver, and leave nothing running
# Run --warm once before the tests: a wineserver or service that a test starts
# inherits the test's output pipe, and ctest then waits for it to exit (ten
# idle minutes). Everything --warm starts has every standard stream on /dev/null.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build-windows/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# Written once the prefix is complete (wine writes its registry files later).
ready=$WINEPREFIX/.loopsmith-ready

# $1: the graphics driver, null or x11.
make_prefix() {
  [[ -f $ready ]] && return
  mkdir -p "$WINEPREFIX"
  wineboot -i
  # No X server needed: the self-test drives the dialogs with messages.
  [[ $1 == x11 ]] || wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
  # Down and up again, so that wine's desktop starts with that driver.
  wineserver -k || true
  wineserver -w || true
  touch "$ready"
}

warm() {
  make_prefix "$([[ -n ${DISPLAY:-} ]] && echo x11 || echo null)"
  # It stays up for ten idle minutes; the test script ends it when all is done.
  wineserver -p600 || true
  # wine's own services start with the first program, so here.
  wine cmd /c exit || true
}

case ${1:-} in
  --warm)
    warm </dev/null >/dev/null 2>&1
    exit 0
    ;;
  --prefix)
    make_prefix x11 </dev/null >/dev/null 2>&1
    exit 0
    ;;
esac
[[ -f $ready ]] || warm </dev/null >/dev/null 2>&1
exec wine "$@"

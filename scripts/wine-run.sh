#!/usr/bin/env bash
# Runs a Windows program under wine for the tests: a prefix of the build's own,
# no debug chatter, and one wineserver kept running, since a wineserver that a
# test starts would hold ctest's output open until it exits.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build-windows/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -d $WINEPREFIX ]]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  # No X server needed: the self-test drives the dialogs with messages.
  [[ -n ${DISPLAY:-} ]] || wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
fi
wineserver -p600 >/dev/null 2>&1 || true
exec wine "$@"

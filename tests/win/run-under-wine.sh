#!/bin/sh
# Runs a Windows program under Wine on a virtual X display. ctest calls it for
# every Windows test (CMAKE_CROSSCOMPILING_EMULATOR).
#
# The tests get a Wine prefix of their own, prepared once: created, and told
# that no window manager runs (without "Managed" = "N" Wine waits about two
# seconds on every dialog close).
set -eu
export WINEDEBUG=-all
export WINEPREFIX="${HALVEX_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/halvex/wineprefix}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# A 32-bit program needs Wine's 32-bit loader (wine32), and that needs a
# kernel that runs 32-bit code. Without them the program is skipped, loudly,
# with ctest's skip status 77.
pe_machine() {
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
wine=wine
if [ -f "$1" ] && [ "$(pe_machine "$1")" = "014c" ]; then
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "SKIPPED $1: a 32-bit program, and this machine's Wine runs none (wine32 missing, or a kernel without 32-bit support)" >&2
    exit 77
  fi
elif [ -x /usr/lib/wine/wine64 ]; then
  # Debian's "wine" prefers the 32-bit loader once wine32 is installed, and
  # that loader fails on a kernel without 32-bit support: a 64-bit program
  # starts through the 64-bit loader directly.
  export WINELOADER=/usr/lib/wine/wine64
  wine=$WINELOADER
fi

if [ ! -f "$WINEPREFIX/.halvex-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.halvex-ready" ]; then
      echo "Preparing the Wine prefix $WINEPREFIX (once, about 15 s)..." >&2
      "$wine" wineboot -i >/dev/null 2>&1 || true
      "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.halvex-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$wine" "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "$@"

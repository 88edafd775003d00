#!/bin/sh
# Runs a Windows program under wine64 in the Wine prefix and on the X display
# that suite.sh prepared; CMake puts it before every Windows test executable
# (CROSSCOMPILING_EMULATOR). The program's exit code is passed on.
#
#   wine-run.sh PROGRAM.exe [ARGUMENTS...]
set -eu
if [ -z "${ORVALIN_WINE_SUITE:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    echo "wine-run.sh: run the Windows suite through tests/win/suite.sh (it sets up Wine and Xvfb)" >&2
    exit 1
fi
exec "${ORVALIN_WINE64:-/usr/lib/wine/wine64}" "$@"

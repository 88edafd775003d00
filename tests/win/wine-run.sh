#!/bin/sh
# Runs a Windows program under wine64 in the Wine prefix and on the X display
# that suite.sh prepared; CMake puts it before every Windows test executable
# (CROSSCOMPILING_EMULATOR). The program's exit code is passed on.
#
#   wine-run.sh [--qtest] PROGRAM.exe [ARGUMENTS...]
#
# With --qtest the program is a QtTest program: what it writes to its
# standard output does not reach a Unix pipe under Wine, so its log goes to a
# file, printed here when it ends.
set -eu
if [ -z "${ORVALIN_WINE_SUITE:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    echo "wine-run.sh: run the Windows suite through tests/win/suite.sh (it sets up Wine and Xvfb)" >&2
    exit 1
fi
wine64=${ORVALIN_WINE64:-/usr/lib/wine/wine64}
if [ "${1:-}" != --qtest ]; then
    exec "$wine64" "$@"
fi
shift
program=$1
shift
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"$wine64" "$program" -o "Z:$log,txt" "$@" || status=$?
cat "$log"
exit $status

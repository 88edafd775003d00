#!/bin/sh
# Runs the Windows suite: the CTest suites of the given Windows build folders
# under wine64, in a Wine prefix of its own in a temporary folder (nothing of
# the user's Wine is touched) and on a virtual X display (Xvfb). Everything
# it started is ended and the temporary folder removed afterwards.
#
#   tests/win/suite.sh BUILD_DIR... [-- CTEST_OPTIONS...]
set -eu
builds=""
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    builds="$builds $(cd "$1" && pwd)"
    shift
done
[ $# -gt 0 ] && shift
[ -n "$builds" ] || { echo "usage: $0 BUILD_DIR... [-- CTEST_OPTIONS...]" >&2; exit 2; }

wine64=${ORVALIN_WINE64:-/usr/lib/wine/wine64}
wineserver=${ORVALIN_WINESERVER:-/usr/lib/wine/wineserver64}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/orvalin-wine.XXXXXX")
xvfb=""
cleanup() {
    WINEPREFIX="$tmp/prefix" "$wineserver" -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    [ -z "$xvfb" ] || wait "$xvfb" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display of its own, black, so that screenshots show only the program.
Xvfb -displayfd 3 -screen 0 1280x800x24 -br -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
i=0
while [ ! -s "$tmp/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -s "$tmp/display" ] || { echo "Xvfb did not start" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
DISPLAY=:$(cat "$tmp/display")

mkdir -p "$tmp/home"
export DISPLAY WINEPREFIX="$tmp/prefix" HOME="$tmp/home" WINEDEBUG=-all ORVALIN_WINE_SUITE=1 ORVALIN_WINE64="$wine64"
# No Mono or Gecko installer prompts, no menu entries written into $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset XDG_CONFIG_HOME XDG_RUNTIME_DIR
echo "== creating the Wine prefix $WINEPREFIX (display $DISPLAY)"
# One wineserver for the whole suite, started first: each program starts faster.
mkdir -p "$WINEPREFIX"
"$wineserver" -p
"$wine64" wineboot --init >"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log" >&2; exit 1; }
# A crash ends the program at once instead of opening Wine's debugger dialog.
"$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
# The forms ask for Microsoft YaHei, also by its Chinese name; Wine draws both
# with WenQuanYi Micro Hei (fonts-wqy-microhei, installed by tools/dev.sh), as
# Linux does (tools/fonts.conf). A UTF-16 .reg file carries the Chinese name
# whatever the locale.
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"Microsoft YaHei"="WenQuanYi Micro Hei"' '"微软雅黑"="WenQuanYi Micro Hei"' | iconv -f UTF-8 -t UTF-16 >"$tmp/fonts.reg"
"$wine64" regedit /S "Z:$tmp/fonts.reg" >/dev/null 2>&1

status=0
for build in $builds; do
    echo "== running the Windows suite of $build under wine64"
    ctest --test-dir "$build" --output-on-failure "$@" || status=1
done
exit $status

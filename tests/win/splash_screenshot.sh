#!/bin/sh
# Shows the launcher's splash on the Wine desktop (suite.sh's Xvfb) and saves
# a screenshot of the screen area it covers, to look at. The launcher runs
# from a folder of its own with no converter beside it, so the splash stays
# until this script ends it. Fails when nothing shows up on the screen.
#
#   splash_screenshot.sh WINE_RUN LAUNCHER.exe OUTPUT.png
set -eu
run=$1 launcher=$2 out=$3
tmp=$(mktemp -d)
pid=""
cleanup() {
    [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
    [ -z "$pid" ] || wait "$pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
cp "$launcher" "$tmp/orvalinpdfLaunch.exe"
mkdir -p "$(dirname "$out")"

"$run" "$tmp/orvalinpdfLaunch.exe" &
pid=$!
# Wait until something other than the black desktop is on the screen, then
# give the animation time to run through a few frames.
i=0
while :; do
    import -display "$DISPLAY" -window root "$tmp/screen.png"
    box=$(convert "$tmp/screen.png" -trim -format '%w %h %X %Y' info: 2>/dev/null || true)
    case "$box" in
        "1 1 "*|"") ;;
        *) break ;;
    esac
    i=$((i + 1))
    if [ $i -ge 120 ]; then
        echo "FAIL: nothing appeared on the screen within 60 s" >&2
        exit 1
    fi
    kill -0 "$pid" 2>/dev/null || { echo "FAIL: the launcher ended" >&2; exit 1; }
    sleep 0.5
done
sleep 2
import -display "$DISPLAY" -window root "$tmp/screen.png"
kill -0 "$pid" 2>/dev/null || { echo "FAIL: the launcher ended while showing its splash" >&2; exit 1; }
convert "$tmp/screen.png" -trim +repage "$out"
size=$(convert "$out" -format '%w %h' info:)
echo "splash: $size pixels on the screen, saved as $out"
set -- $size
# The splash is 200 x 250 (Chinese) or 280 x 250; the drawn parts lie within.
if [ "$1" -lt 100 ] || [ "$1" -gt 280 ] || [ "$2" -lt 100 ] || [ "$2" -gt 250 ]; then
    echo "FAIL: the visible area is $1 x $2, not within the splash's 280 x 250" >&2
    exit 1
fi

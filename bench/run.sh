#!/bin/sh
# Builds the launcher, the stand-ins and the benchmark programs in release mode
# (in build-bench/, or the folder given first) and prints every figure as a ratio against a
# baseline measured in the same run. Extra arguments go to measure.py, e.g.
# --runs 60 --download-runs 9 --map-runs 25 --splash-seconds 20, or --only download
# (startup, firstmap, splash, wine; repeatable).
#
# When build-win64/ (ORVALIN_BENCH_WIN64 names another) is an x86_64 Windows
# build configured with -DORVALIN_BUILD_BENCH=ON, its launcher and bare
# static Qt programs are brought up to date and measured under wine64 as well
# (report only). Export ORVALIN_WINQT_PREFIX as for its configuration.
set -eu
cd "$(dirname "$0")/.."
build=build-bench
case "${1:-}" in
    ""|-*) ;;
    *) build=$1; shift ;;
esac

# What the measurements run besides the build itself.
missing=""
command -v curl >/dev/null 2>&1 || missing="$missing curl"
# Serves the installer for the download figures (its own configuration, on
# loopback; the system's nginx service is not used).
command -v nginx >/dev/null 2>&1 || [ -x /usr/sbin/nginx ] || missing="$missing nginx"
command -v ipcrm >/dev/null 2>&1 || missing="$missing util-linux"
command -v Xvfb >/dev/null 2>&1 || missing="$missing xvfb"
command -v unshare >/dev/null 2>&1 || missing="$missing util-linux"
[ -x /usr/bin/python3 ] || missing="$missing python3"
. tools/packages.sh
install_packages "$missing"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVALIN_WERROR=ON -DORVALIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target orvalinpdfLaunch orvalinpdfConverter orvalinUpdateService \
    bench_bareapp bench_barewindow bench_download bench_firstmap bench_qtlinked >/dev/null

wine_build=${ORVALIN_BENCH_WIN64:-build-win64}
if [ -f "$wine_build/CMakeCache.txt" ] && grep -q '^ORVALIN_BUILD_BENCH:BOOL=ON' "$wine_build/CMakeCache.txt"; then
    wine64=${ORVALIN_WINE64:-/usr/lib/wine/wine64}
    [ -x "$wine64" ] || { echo "bench: $wine_build is there but $wine64 is not (apt-get install wine64)" >&2; exit 1; }
    cmake --build "$wine_build" --target orvalinpdfLaunch orvalinpdfConverter bench_bareapp bench_barewindow >/dev/null
    set -- --wine "$wine_build" "$@"
fi

exec /usr/bin/python3 bench/measure.py --build "$build" "$@"

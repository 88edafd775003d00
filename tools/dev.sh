#!/bin/sh
# Sets up a Debian 12 machine, builds the project and either runs the
# launcher or runs the whole test suite. Safe to run again.
#
#   tools/dev.sh run     build, then start the launcher (under Xvfb when there is no display)
#   tools/dev.sh test    check the formatting, build, run every test; then again
#                        built with the sanitizers; then a minute of fuzzing
#   tools/dev.sh windows build Qt for Windows when it is not cached, build the
#                        Windows program (build-win32/, build-win64/, and
#                        build-win64-options/ with both update options) and
#                        run the Windows suite under wine64
#   tools/dev.sh packages only install what test and windows need, the
#                        cross builds' packages included
set -eu

cd "$(dirname "$0")/.."
mode=${1:-}
case "$mode" in
    run|test|windows|packages) ;;
    *) echo "usage: $0 run|test|windows|packages" >&2; exit 2 ;;
esac

build_packages="cmake ninja-build g++ pkg-config qtbase5-dev qtbase5-dev-tools libsodium-dev"
run_packages="xvfb xauth xcompmgr x11-utils imagemagick"
test_packages="xvfb xauth x11-utils x11-xserver-utils openssl binutils-mingw-w64-i686 g++-mingw-w64-i686-win32 python3 python3-pefile clang libclang-rt-14-dev clang-format git"

# The forms' texts are Chinese in Microsoft YaHei, a Windows font. Every mode
# draws them with WenQuanYi Micro Hei instead: on Linux through the alias in
# tools/fonts.conf (FONTCONFIG_FILE, set below and by the tests), under Wine
# through the font replacements of the suite's prefix (tests/win/suite.sh).
font_packages="fonts-wqy-microhei"

packages="$build_packages $font_packages"
[ "$mode" = run ] && packages="$packages $run_packages"
[ "$mode" = test ] && packages="$packages $test_packages"
# Debian's mingw-w64 compilers of the posix thread model, LLVM's lld (the
# x86_64 build links with it), 64-bit Wine (32-bit Wine cannot be installed
# here), a virtual display, the PE reader, ImageMagick for the screenshot and
# osslsigncode for the Authenticode signatures. tools/winqt.sh installs what
# Qt needs.
windows_packages="g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
 binutils-mingw-w64-x86-64 lld wine64 xvfb xauth openssl python3 python3-pefile imagemagick osslsigncode"
[ "$mode" = windows ] && packages="$packages $windows_packages"
[ "$mode" = packages ] && packages="$packages $test_packages $windows_packages"

. tools/packages.sh
install_packages "$packages"

if [ "$mode" = packages ]; then
    for arch in i686 x86_64; do
        tools/winqt.sh $arch packages
        tools/winsodium.sh $arch packages
    done
    exit 0
fi

# One compiler per core: ninja's default of two more ran this project's
# Windows build an eighth slower on two cores, and Qt's sources likewise.
CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
export CMAKE_BUILD_PARALLEL_LEVEL

build=${ORVALIN_BUILD_DIR:-build}
werror=OFF
[ "${CI:-}" = true ] && werror=ON
echo "== configuring $build (warnings as errors: $werror)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIN_WERROR=$werror
echo "== building"
if [ "$mode" = windows ]; then
    # The Windows suite needs only the native stand-in update service.
    cmake --build "$build" --target orvalinUpdateService
else
    cmake --build "$build"
fi

if [ "$mode" = windows ]; then
    elapsed() { echo "$(($(date +%s) - $1)) s"; }
    for arch in i686 x86_64; do
        started=$(date +%s)
        echo "== Qt for $arch Windows (built once, then cached)"
        tools/winqt.sh $arch
        echo "== Qt for $arch: $(elapsed "$started")"
    done
    build_windows_tree() {
        dir=build-${1%%:*}
        arch=${1#*:}
        started=$(date +%s)
        # build-win32 is the shipped program; build-win64 adds the tests run
        # under wine64; build-win64-options has both update options (the test
        # suite's throwaway key, https) and only the update test, which tries
        # what they change.
        tests=ON what="static Qt" options="" target=""
        [ "$dir" = build-win32 ] && tests=OFF
        if [ "$dir" = build-win64-options ]; then
            what="static Qt, signed installers, https" target="--target tst_win_update"
            options="-DORVALIN_UPDATE_PUBLIC_KEY=$(cat tests/update_signed/test-suite.pub) -DORVALIN_UPDATE_SCHEME=https"
        fi
        # libsodium checks installer signatures: cross-built once, then cached
        # beside Qt, where the toolchain file looks for it.
        tools/winsodium.sh $arch
        echo "== configuring $dir ($arch-w64-mingw32, $what; warnings as errors: $werror)"
        # shellcheck disable=SC2086
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVALIN_WERROR=$werror \
            -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/toolchain-$arch-w64-mingw32.cmake" \
            -DORVALIN_WINE_TESTS=$tests -DORVALIN_NATIVE_BIN_DIR="$(cd "$build" && pwd)/bin" $options
        echo "== building $dir"
        # shellcheck disable=SC2086
        cmake --build "$dir" $target
        echo "== $dir: $(elapsed "$started")"
    }
    build_windows_tree win32:i686
    build_windows_tree win64:x86_64

    # The suite spends most of its time waiting on Wine, so the options tree
    # is built meanwhile; its output follows the suite's.
    options_log=$(mktemp)
    (build_windows_tree win64-options:x86_64) >"$options_log" 2>&1 &
    options_build=$!
    started=$(date +%s)
    suite_status=0
    tests/win/suite.sh build-win64 build-win32 || suite_status=$?
    options_status=0
    wait $options_build || options_status=$?
    cat "$options_log"
    rm -f "$options_log"
    [ "$options_status" -eq 0 ] || { echo "building build-win64-options failed" >&2; exit 1; }
    [ "$suite_status" -eq 0 ] || exit "$suite_status"
    tests/win/suite.sh build-win64-options -- -R '^tst_win_update$'
    echo "== Windows suite: $(elapsed "$started")"
    echo "== the shipped program: build-win32/bin/orvalinpdfLaunch.exe"
    exit 0
fi

if [ "$mode" = test ]; then
    echo "== checking the formatting (.clang-format)"
    # One clang-format for all files: a process per file took 20 s in CI.
    if ! report=$(git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --style=file --dry-run --Werror 2>&1); then
        unformatted=$(echo "$report" | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
        if [ -n "$unformatted" ]; then
            echo "not formatted (run clang-format -i on them):" $unformatted >&2
        else
            echo "$report" >&2
        fi
        exit 1
    fi

    echo "== running the tests"
    ctest --test-dir "$build" --output-on-failure

    # The build options for signed installers and an https update service,
    # both set, with the test suite's throwaway key, and an installer maximum
    # small enough to pass in a test: only the test of what they change is
    # built and run there (tests/update_signed); the suite above covers the
    # default build, which has neither.
    options="$build-options"
    echo "== configuring $options (signed installers, https; warnings as errors: $werror)"
    cmake -S . -B "$options" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIN_WERROR=$werror \
        -DORVALIN_UPDATE_PUBLIC_KEY="$(cat tests/update_signed/test-suite.pub)" -DORVALIN_UPDATE_SCHEME=https \
        -DORVALIN_UPDATE_MAX_INSTALLER_MB=8
    echo "== building"
    cmake --build "$options" --target tst_signedupdate
    echo "== running the signed and https test"
    ctest --test-dir "$options" -R '^tst_signedupdate$' --output-on-failure

    # The same suite again with AddressSanitizer and UndefinedBehaviorSanitizer;
    # any report ends the process and fails its test. The small quarantine keeps
    # freed download buffers from counting towards the download's peak memory.
    # Leaks of Qt's own (and only those) are listed in tests/sanitizers/lsan.supp.
    checked="$build-asan"
    echo "== configuring $checked (AddressSanitizer, UndefinedBehaviorSanitizer; warnings as errors: $werror)"
    cmake -S . -B "$checked" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVALIN_WERROR=$werror -DORVALIN_SANITIZE=ON
    echo "== building"
    cmake --build "$checked"
    echo "== running the tests under the sanitizers"
    ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:quarantine_size_mb=8" \
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
    LSAN_OPTIONS="fast_unwind_on_malloc=0:print_suppressions=0:suppressions=$(pwd)/tests/sanitizers/lsan.supp" \
        ctest --test-dir "$checked" --output-on-failure

    # About a minute of fuzzing (30 s per target, two at a time) from the
    # committed seed inputs.
    fuzz="$build-fuzz"
    echo "== configuring $fuzz (clang, libFuzzer; warnings as errors: $werror)"
    cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DORVALIN_WERROR=$werror -DORVALIN_FUZZ=ON
    echo "== building"
    cmake --build "$fuzz" --target orvalin_fuzzers
    echo "== fuzzing"
    tests/fuzz/run.sh "$fuzz" 30
    exit 0
fi

echo "== starting $build/bin/orvalinpdfLaunch (end it with Ctrl+C)"
FONTCONFIG_FILE="$(pwd)/tools/fonts.conf"
export FONTCONFIG_FILE
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$build/bin/orvalinpdfLaunch"
fi
# No display: give the splash a virtual one with a compositor, so its
# translucency works as on a desktop. Nobody sees that display, so a
# screenshot of it is saved as each window comes up: the splash, then the
# converter's. The display stays up after the converter has ended the
# launcher, so the converter keeps its window until Ctrl+C.
shots="$(cd "$build" && pwd)/screenshots"
mkdir -p "$shots"
rm -f "$shots"/*.png
echo "== no display: running on a virtual one; screenshots go to $shots"
exec xvfb-run -a -s "-screen 0 1280x800x24" sh -c '
    launcher=$1 shots=$2
    xcompmgr >/dev/null 2>&1 &
    "$launcher" &
    # Waits up to 30 s for a window with this title, lets it draw, saves the screen.
    shoot() {
        i=0
        while [ $i -lt 300 ]; do
            if xwininfo -root -tree 2>/dev/null | grep -q "\"$1\""; then
                sleep 0.5
                import -window root "$shots/$2" && echo "== screenshot: $shots/$2"
                return
            fi
            sleep 0.1
            i=$((i + 1))
        done
        echo "== no window \"$1\" came up" >&2
    }
    shoot "MainWindow" splash.png
    shoot "OrvalinPDF converter (stand-in)" converter.png
    wait' sh "$build/bin/orvalinpdfLaunch" "$shots"

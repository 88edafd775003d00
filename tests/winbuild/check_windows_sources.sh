#!/bin/sh
# Compiles every source that a Windows build of the program compiles, with
# the 32-bit mingw compiler and -fsyntax-only: there is no Qt for Windows on
# this machine, so the Qt headers are the host's. It catches Windows-only code
# that no longer compiles (the platform layer's *_win.cpp files) and code that
# slipped POSIX calls past the platform layer. The tools are built for
# Windows too (the stand-in converter sits beside the launcher there).
#
#   check_windows_sources.sh <mingw g++> <source dir> <build dir> <Qt include dirs...>
set -eu
cxx=$1 src=$2 build=$3
shift 3

flags="-std=c++17 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes -DUNICODE -D_UNICODE"
flags="$flags -DORVALIN_UPDATE_HOST=\"update.invalid\" -DORVALIN_UPDATE_SCHEME=\"http\" -DORVALIN_UPDATE_PUBLIC_KEY=\"\" -DORVALIN_UPDATE_MAX_INSTALLER_MB=1024"
for dir in "$@"; do
    flags="$flags -I$dir"
done
for dir in settings platform update dialogs launcher tools/signtool; do
    flags="$flags -I$src/$dir"
done
# The forms' generated headers.
for dir in "$build"/*/*_autogen/include; do
    flags="$flags -I$dir"
done

failed=0
for f in "$src"/settings/*.cpp "$src"/platform/*_win.cpp "$src"/launcher/*.cpp "$src"/update/*.cpp "$src"/dialogs/*.cpp \
    "$src"/tools/*/*.cpp; do
    # shellcheck disable=SC2086
    if ! "$cxx" $flags "$f"; then
        echo "does not compile for Windows: ${f#"$src"/}" >&2
        failed=1
    fi
done
exit $failed

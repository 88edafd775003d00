#!/bin/sh
# Configures the project (without building it) with values of the update
# build options and checks that CMake accepts the good ones and stops at the
# bad ones with a message naming the option.
#
#   check_build_options.sh <cmake> <source dir> <scratch dir>
set -eu
cmake=$1 src=$2 scratch=$3

# A valid key: 32 bytes; the same bytes spelled with the unused bits set; 31
# and 33 bytes; URL-safe characters; no padding; a line break at the end.
key=qXzDo2fibADZecyBNJUyQV7nEfwlovBeaEd5efshp48=
failed=0
check() {
    expect=$1
    shift
    rm -rf "$scratch"
    if "$cmake" -S "$src" -B "$scratch" -DORVALIN_BUILD_TESTS=OFF "$@" >"$scratch.log" 2>&1; then
        result=accepted
    else
        result=refused
    fi
    if [ "$result" != "$expect" ]; then
        echo "expected $expect, was $result: $*" >&2
        tail -n 5 "$scratch.log" >&2
        failed=1
    elif [ "$result" = refused ] && ! grep -q 'ORVALIN_UPDATE_\(PUBLIC_KEY\|SCHEME\|MAX_INSTALLER_MB\) must' "$scratch.log"; then
        echo "refused without naming the option: $*" >&2
        tail -n 5 "$scratch.log" >&2
        failed=1
    fi
}

check accepted
check accepted -DORVALIN_UPDATE_PUBLIC_KEY=$key -DORVALIN_UPDATE_SCHEME=https
check accepted -DORVALIN_UPDATE_SCHEME=http
check refused -DORVALIN_UPDATE_SCHEME=ftp
check refused -DORVALIN_UPDATE_SCHEME=HTTPS
check refused -DORVALIN_UPDATE_SCHEME=https://
check refused -DORVALIN_UPDATE_SCHEME=
check refused -DORVALIN_UPDATE_PUBLIC_KEY=qXzDo2fibADZecyBNJUyQV7nEfwlovBeaEd5efshp49=
check refused -DORVALIN_UPDATE_PUBLIC_KEY=qXzDo2fibADZecyBNJUyQV7nEfwlovBeaEd5efshp4=
check refused -DORVALIN_UPDATE_PUBLIC_KEY=qXzDo2fibADZecyBNJUyQV7nEfwlovBeaEd5efshp48AAA=
check refused -DORVALIN_UPDATE_PUBLIC_KEY=qXzDo2fibADZecyBNJUyQV7nEfwlovBeaEd5efshp48
check refused -DORVALIN_UPDATE_PUBLIC_KEY=qXzDo2fibADZecyBNJUyQV7nEfwlov_eaEd5efshp48=
check refused "-DORVALIN_UPDATE_PUBLIC_KEY=$key
"
check accepted -DORVALIN_UPDATE_MAX_INSTALLER_MB=8
check refused -DORVALIN_UPDATE_MAX_INSTALLER_MB=0
check refused -DORVALIN_UPDATE_MAX_INSTALLER_MB=1G
rm -rf "$scratch" "$scratch.log"
exit $failed

#!/bin/sh
# Used as gcc's -wrapper: every program the driver starts comes through here.
# The link step (collect2, which would run GNU ld) is handed to LLVM's lld,
# whose GNU-style driver links PE images when given "-m i386pep"; gcc's LTO
# plugin options are dropped, lld reads no GCC plugin. Everything else runs
# as it was.
#
#   gcc ... -wrapper lld-collect2.sh,/path/to/ld.lld
lld=$1
shift
case "$1" in
*/collect2) shift ;;
*) exec "$@" ;;
esac
n=$#
skip=0
while [ "$n" -gt 0 ]; do
    arg=$1
    shift
    n=$((n - 1))
    if [ "$skip" = 1 ]; then
        skip=0
        continue
    fi
    case "$arg" in
    -plugin) skip=1 ;;
    -plugin-opt=*) ;;
    *) set -- "$@" "$arg" ;;
    esac
done
exec "$lld" "$@"

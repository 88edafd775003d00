# Sourced by the cross builds (tools/winqt.sh, tools/winsodium.sh), whose
# first argument is the Windows architecture: sets arch, debarch (the name
# in Debian's package names) and triplet, and brings in the package helper.
#
#   cross_packages_only "package ..." "$2"   with "packages" as the second
#                                            argument, installs just those
#                                            and ends the script
#   make_jobs                                make's parallel option for the
#                                            build: none under a make that
#                                            shares its job slots
arch=${1:-}
case "$arch" in
    i686) debarch=i686 ;;
    x86_64) debarch=x86-64 ;;
    *) echo "usage: $0 i686|x86_64 [packages]" >&2; exit 2 ;;
esac
triplet=$arch-w64-mingw32
. "$(dirname "$0")/packages.sh"

cross_packages_only() {
    if [ "${2:-}" = packages ]; then
        install_with_sources "$1"
        exit 0
    fi
}

# Started by a make that shares its job slots (tools/crossbuilds.mk runs both
# architectures side by side), the build takes its jobs from there: a -j of
# its own would start a compiler per core for each architecture, and Qt's
# sources compiled about a sixth slower four at a time on two cores than two
# at a time.
make_jobs() {
    case " ${MAKEFLAGS:-} " in
        *" --jobserver-auth="* | *" --jobserver-fds="*) ;;
        *) echo "-j$(nproc)" ;;
    esac
}

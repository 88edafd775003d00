#!/bin/sh
# Builds libsodium for Windows, static, from Debian's own source package with
# Debian's mingw-w64 cross compilers (posix thread model, as Qt's build), into
# a cache folder beside the Windows Qt. A cache built with the same options is
# reused. The Windows builds link it to verify the installers' signatures.
#
#   tools/winsodium.sh i686|x86_64 [packages]     prints the install folder on its last line
#
# Linking: include dir PREFIX/include, library PREFIX/lib/libsodium.a, and the
# define SODIUM_STATIC (or PKG_CONFIG_LIBDIR=PREFIX/lib/pkgconfig for pkg-config).
set -eu

. "$(dirname "$0")/crossbuild.sh"
# What the build needs; "packages" as second argument installs just that.
needs="gcc-mingw-w64-$debarch-posix binutils-mingw-w64-$debarch dpkg-dev make autoconf automake libtool"
cross_packages_only "$needs" "${2:-}"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/orvalin
prefix=$cache/libsodium-$arch

# No stack protector: with mingw it needs libssp at every later link, which
# the program's build does not add. No shared library: the program links it
# statically. The programs use only Ed25519 signatures, random bytes and the
# helpers: the minimal build leaves out the rest (a fifth of the files).
options="--host=$triplet --prefix=$prefix --enable-static --disable-shared --disable-ssp --disable-dependency-tracking --enable-minimal
 CC=$triplet-gcc-posix AR=$triplet-ar RANLIB=$triplet-ranlib CFLAGS=-O2"
options=$(echo $options)

if [ -f "$prefix/.orvalin-options" ] && [ "$(cat "$prefix/.orvalin-options")" = "$options" ]; then
    echo "== libsodium for $triplet is cached"
    echo "$prefix"
    exit 0
fi

install_with_sources "$needs"

work=$cache/sodium-work-$arch
log=$cache/libsodium-$arch.log
rm -rf "$work" "$prefix"
mkdir -p "$work"
: >"$log"
echo "== building libsodium for $triplet (log: $log)"
started=$(date +%s)
fail() {
    grep -m5 -B2 -A5 'error' "$log" >&2 || tail -n 30 "$log" >&2
    echo "libsodium build failed: $1; full log: $log" >&2
    exit 1
}
(cd "$work" && apt-get source libsodium) >>"$log" 2>&1 </dev/null || fail "apt-get source"
src=$(ls -d "$work"/libsodium-*/ | head -n1)
cd "$src"
# Debian's source carries no generated configure script (its build makes one),
# and libsodium's autogen.sh would fetch config.sub from the network.
autoreconf -fi >>"$log" 2>&1 || fail autoreconf
# shellcheck disable=SC2086
./configure $options >>"$log" 2>&1 || fail configure
# shellcheck disable=SC2046
make $(make_jobs) >>"$log" 2>&1 || fail make
make install >>"$log" 2>&1 || fail "make install"
echo "$options" >"$prefix/.orvalin-options"
cd /
rm -rf "$work"
echo "== libsodium for $triplet built in $(($(date +%s) - started)) s"
echo "$prefix"

# Sourced by every script that needs Debian packages (tools/dev.sh,
# bench/run.sh, the cross builds): installs those that are missing, and asks
# apt nothing when none is.
#
#   refresh_package_lists                apt-get update, once (see below)
#   install_packages "package ..."
#   install_with_sources "package ..."   the same, with Debian's source archive
#                                        known to apt first (the cross builds
#                                        build from Debian's source packages)

# Refreshes apt's lists once for this script and the scripts it starts
# (pkg_lists_fresh is exported): a second refresh would rewrite the lists
# while a cross build started meanwhile reads them.
refresh_package_lists() {
    [ "${pkg_lists_fresh:-}" != yes ] || return 0
    pkg_sudo=""
    [ "$(id -u)" -eq 0 ] || pkg_sudo=sudo
    $pkg_sudo apt-get update -qq
    pkg_lists_fresh=yes
    export pkg_lists_fresh
}

install_packages() {
    pkg_sudo=""
    [ "$(id -u)" -eq 0 ] || pkg_sudo=sudo
    pkg_missing=""
    for pkg in $1; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || pkg_missing="$pkg_missing $pkg"
    done
    if [ -n "$pkg_missing" ]; then
        echo "== installing:$pkg_missing"
        refresh_package_lists
        DEBIAN_FRONTEND=noninteractive $pkg_sudo apt-get install -y -qq --no-install-recommends $pkg_missing
    fi
}

install_with_sources() {
    pkg_sudo=""
    [ "$(id -u)" -eq 0 ] || pkg_sudo=sudo
    if ! grep -rqs '^\(Types:.*deb-src\|deb-src \)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "== adding Debian's source archive to apt"
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\nTypes: deb-src\nURIs: http://deb.debian.org/debian-security\nSuites: bookworm-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
            $pkg_sudo tee /etc/apt/sources.list.d/orvalin-deb-src.sources >/dev/null
        pkg_lists_fresh=""
        refresh_package_lists
    fi
    install_packages "$1"
}

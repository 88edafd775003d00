# Sourced by the cross-build scripts: installs Debian packages that are
# missing, with Debian's source archive known to apt (they build from
# Debian's source packages).
#
#   install_with_sources "package ..."
install_with_sources() {
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    missing=""
    for p in $1; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
    done
    if ! grep -rqs '^\(Types:.*deb-src\|deb-src \)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "== adding Debian's source archive to apt"
        printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\nTypes: deb-src\nURIs: http://deb.debian.org/debian-security\nSuites: bookworm-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
            $sudo tee /etc/apt/sources.list.d/orvalin-deb-src.sources >/dev/null
        $sudo apt-get update -qq
    elif [ -n "$missing" ]; then
        $sudo apt-get update -qq
    fi
    if [ -n "$missing" ]; then
        echo "== installing:$missing"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
    fi
}

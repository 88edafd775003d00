#!/bin/sh
# Runs a command while the stand-in update service runs natively on a free
# loopback port, serving INSTALLER; the command finds it as host:port in
# ORVALIN_TEST_UPDATE_SERVICE. The services are ended afterwards.
#
#   with-service.sh SERVICE INSTALLER [--signing-key KEY] [--tls HOST] -- COMMAND [ARGUMENTS...]
#
# --signing-key: the service signs what it serves with KEY, and a second one
#   serving a wrong signature is found in ORVALIN_TEST_UPDATE_SERVICE_BAD.
# --tls: the services speak TLS with a certificate for HOST from the tests'
#   throwaway authority (orvalinTestCertificates beside SERVICE), whose
#   certificate (PEM) is named in ORVALIN_TEST_CA.
set -eu
service=$1 installer=$2
shift 2
signing_key="" tls_host=""
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    case "$1" in
        --signing-key) signing_key=$2; shift 2 ;;
        --tls) tls_host=$2; shift 2 ;;
        *) echo "with-service.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
shift
if [ ! -x "$service" ]; then
    echo "SKIPPED: no native update service at $service (build the Linux tree's orvalinUpdateService)"
    exit 77
fi
dir=$(mktemp -d)
pids=""
trap 'for p in $pids; do kill $p 2>/dev/null || true; wait $p 2>/dev/null || true; done
      cat "$dir"/*.log >&2 2>/dev/null || true; rm -rf "$dir"' EXIT

options=""
[ -z "$signing_key" ] || options="--signing-key $signing_key"
if [ -n "$tls_host" ]; then
    # The tests' throwaway authority, from the native build beside the service.
    certificates=$(dirname "$service")/orvalinTestCertificates
    "$certificates" "$tls_host" "$dir" >"$dir/certificates.out" 2>&1 || { cat "$dir/certificates.out" >&2; exit 1; }
    options="$options --tls-cert $dir/chain.pem --tls-key $dir/server.key"
    ORVALIN_TEST_CA=$dir/ca.pem
    export ORVALIN_TEST_CA
fi

# Starts a service (its log is NAME.log); sets `address` to its host:port
# once it listens.
serve() {
    log=$dir/$1.log
    shift
    # shellcheck disable=SC2086
    "$service" --port 0 --installer "$installer" $options "$@" >"$log" 2>&1 &
    pids="$pids $!"
    port=""
    i=0
    while [ -z "$port" ] && [ $i -lt 100 ]; do
        port=$(sed -n 's/^update service on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
        [ -n "$port" ] || sleep 0.1
        i=$((i + 1))
    done
    [ -n "$port" ] || { echo "the update service did not start" >&2; exit 1; }
    address=127.0.0.1:$port
}
serve service
ORVALIN_TEST_UPDATE_SERVICE=$address
export ORVALIN_TEST_UPDATE_SERVICE
if [ -n "$signing_key" ]; then
    serve service-bad-signature --bad-signature
    ORVALIN_TEST_UPDATE_SERVICE_BAD=$address
    export ORVALIN_TEST_UPDATE_SERVICE_BAD
fi
"$@"

#!/bin/sh
# Runs a command while the stand-in update service runs natively on a free
# loopback port, serving INSTALLER; the command finds it as host:port in
# ORVALIN_TEST_UPDATE_SERVICE. The service is ended afterwards.
#
#   with-service.sh SERVICE INSTALLER -- COMMAND [ARGUMENTS...]
set -eu
service=$1 installer=$2
shift 3
if [ ! -x "$service" ]; then
    echo "SKIPPED: no native update service at $service (build the Linux tree's orvalinUpdateService)"
    exit 77
fi
log=$(mktemp)
"$service" --port 0 --installer "$installer" 2>"$log" &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; cat "$log" >&2; rm -f "$log"' EXIT
port=""
i=0
while [ -z "$port" ] && [ $i -lt 100 ]; do
    port=$(sed -n 's/^update service on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
    [ -n "$port" ] || sleep 0.1
    i=$((i + 1))
done
[ -n "$port" ] || { echo "the update service did not start" >&2; exit 1; }
ORVALIN_TEST_UPDATE_SERVICE=127.0.0.1:$port "$@"

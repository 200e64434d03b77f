#!/usr/bin/env bash
# The lookup benchmark: corvane against dig on the same questions, through delaying relays on
# loopback in front of NSD, all inside a private network and mount namespace (as
# scripts/test.sh does), so that no query leaves this machine.
#
#   sudo bench/run.sh [bench.py arguments...]     e.g. --corvane "wine build-win/corvane.exe"
#
# BUILD_DIR (default build) gives the corvane to measure. Results: bench/results/.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [[ "${CORVANE_BENCH_NAMESPACE:-}" != 1 ]]; then
    export CORVANE_BENCH_NAMESPACE=1
    if [[ $EUID -eq 0 ]]; then
        exec unshare --net --mount --propagation private "${BASH_SOURCE[0]}" "$@"
    fi
    exec unshare --map-root-user --net --mount --propagation private "${BASH_SOURCE[0]}" "$@"
fi

for tool in ip nsd dig python3; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 2; }
done
cd "$REPO_ROOT"
ip link set lo up

WORK=$(mktemp -d /tmp/corvane-bench.XXXXXX)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

# Nothing here may reach a real resolver: the system's servers are our loopback NSD.
printf 'nameserver 127.0.0.1\n' >"$WORK/resolv.conf"
mount --bind "$WORK/resolv.conf" /etc/resolv.conf

# The test zones, and a zone of many short names with their reverse addresses.
mkdir "$WORK/zones"
cp tests/e2e/zones/*.zone "$WORK/zones/"
python3 bench/bench.py --write-zones "$WORK/zones"

{
    cat <<CONF
server:
    ip-address: 127.0.0.1
    port: 53
    username: ""
    chroot: ""
    zonesdir: "$WORK/zones"
    pidfile: "$WORK/nsd.pid"
    database: ""
    zonelistfile: "$WORK/zone.list"
    xfrdfile: "$WORK/xfrd.state"
    xfrdir: "$WORK"
    logfile: "$WORK/nsd.log"
    server-count: 1
    verbosity: 0
    round-robin: no
    # No response rate limiting: hundreds of like answers a second are the point here.
    rrl-ratelimit: 0
    rrl-whitelist-ratelimit: 0
remote-control:
    control-enable: no
CONF
    for zonefile in "$WORK"/zones/*.zone; do
        zone=$(basename "$zonefile" .zone)
        printf 'zone:\n    name: "%s"\n    zonefile: "%s"\n' "$zone" "$zone.zone"
    done
} >"$WORK/nsd.conf"
nsd -d -c "$WORK/nsd.conf" >"$WORK/nsd.out" 2>&1 &
PIDS+=($!)

# 127.0.0.5: 50 ms a round trip; 127.0.0.6: 5 ms; 127.0.0.7: never answers.
start_relay() {
    python3 bench/delay_proxy.py "$@" >"$WORK/relay.$$.$RANDOM" 2>&1 &
    PIDS+=($!)
}
start_relay --listen 127.0.0.5 --delay-ms 50
start_relay --listen 127.0.0.6 --delay-ms 5
start_relay --listen 127.0.0.7 --mute

for _ in $(seq 1 100); do
    if dig @127.0.0.1 e2e.test SOA +short +timeout=1 +tries=1 2>/dev/null | grep -q . &&
        dig @127.0.0.6 e2e.test SOA +short +timeout=1 +tries=1 2>/dev/null | grep -q .; then
        break
    fi
    sleep 0.1
done

# Debian's Python, which has python3-matplotlib for the plot.
PYTHON=${PYTHON:-/usr/bin/python3}
"$PYTHON" bench/bench.py --corvane "${BUILD_DIR:-build}/corvane" "$@"

#!/usr/bin/env bash
# The lookup benchmark: corvane against dig on the same questions, through delaying relays on
# loopback in front of NSD and against Debian's unbound, dnsmasq, BIND 9 and a rate-limiting
# NSD with their default limits, all inside a private network and mount namespace (as
# scripts/test.sh does), so that no query leaves this machine.
#
#   bench/run.sh [bench.py arguments...]
#   bench/run.sh --corvane "scripts/wine-run.sh build-win/corvane.exe" --results-suffix=-windows
#
# BUILD_DIR (default build) gives the corvane to measure. Results: bench/results/.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# shellcheck source=../scripts/lib/privilege.sh
source "$REPO_ROOT/scripts/lib/privilege.sh"
if [[ "${CORVANE_BENCH_NAMESPACE:-}" != 1 ]]; then
    PRIVILEGE_KEEP_ENV+=(PYTHON)
    exec_in_private_namespace CORVANE_BENCH_NAMESPACE "$REPO_ROOT/bench/run.sh" "$@"
fi

for tool in dig python3; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 2; }
done
cd "$REPO_ROOT"
# shellcheck source=../scripts/lib/loopback-dns.sh
source scripts/lib/loopback-dns.sh
# shellcheck source=../scripts/lib/real-dns.sh
source scripts/lib/real-dns.sh

WORK=$(mktemp -d /tmp/corvane-bench.XXXXXX)
PIDS=()
cleanup() {
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    stop_real_dns
    stop_loopback_dns
    rm -rf "$WORK"
}
trap cleanup EXIT

# The test zones, and a zone of many short names with their reverse addresses, served by NSD
# on 127.0.0.1 with a private resolv.conf: nothing here may reach a real resolver.
mkdir "$WORK/zones"
cp tests/e2e/zones/*.zone "$WORK/zones/"
python3 scripts/lib/bulk_zone.py "$WORK/zones"
start_loopback_dns "$WORK/zones" "$WORK" e2e.test

# 127.0.0.5: 50 ms a round trip; 127.0.0.6: 5 ms; 127.0.0.7: never answers.
start_relay() {
    python3 bench/delay_proxy.py "$@" >"$WORK/relay.$$.$RANDOM" 2>&1 &
    PIDS+=($!)
}
start_relay --listen 127.0.0.5 --delay-ms 50
start_relay --listen 127.0.0.6 --delay-ms 5
start_relay --listen 127.0.0.7 --mute
# The real servers, and links in front of two of them: 127.0.3.2, 5 ms to the rate-limiting
# NSD; 127.0.4.3, 20 ms to unbound, losing 2 % of the datagrams each way (seeded).
start_real_dns "$WORK/zones" "$WORK"
start_dns_link 127.0.3.2 "$REAL_DNS_NSD_RRL" 5
start_dns_link 127.0.4.3 "$REAL_DNS_UNBOUND" 20 2 7
real_dns_wait 127.0.3.2 b.test
real_dns_wait 127.0.4.3 b.test

for _ in $(seq 1 100); do
    if dig @127.0.0.6 e2e.test SOA +short +timeout=1 +tries=1 2>/dev/null | grep -q .; then
        break
    fi
    sleep 0.1
done

# The Windows build under wine: one wineserver inside this namespace for the whole run, with
# wine's own services started once before anything is timed.
if [[ "$*" == *wine* ]]; then
    export WINEPREFIX=${WINEPREFIX:-$REPO_ROOT/build-win/wineprefix}
    scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1
    wineserver -w
    wineserver -p
    scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1
    trap 'wineserver -k 2>/dev/null || true; cleanup' EXIT
fi

# Debian's Python, which has python3-matplotlib for the plot.
PYTHON=${PYTHON:-/usr/bin/python3}
"$PYTHON" bench/bench.py --corvane "${BUILD_DIR:-build}/corvane" "$@"

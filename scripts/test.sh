#!/usr/bin/env bash
# Runs the whole CTest suite hermetically: in a private network and mount
# namespace whose only interface is loopback, with a private resolv.conf
# pointing at an NSD instance that serves the zones in tests/e2e/zones.
# No query can reach the real resolver or the network.
#
#   scripts/test.sh [ctest arguments...]
#
# As root it makes the namespace itself; as a user it uses a user namespace
# where the kernel allows one, else it asks sudo (and runs the tests as you).
# BUILD_DIR selects the build tree (default: build, relative to the
# repository root). A Windows build tree (cmake/mingw-w64.cmake) runs its
# programs under wine, with a prefix in the build tree and one wineserver
# started inside the namespace for the whole run. TEST_TIMEOUT (default 300) bounds every test that sets no
# timeout of its own, so a hanging test cannot hang CI. ctest's exit code is
# the script's exit code.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ZONES_DIR="$REPO_ROOT/tests/e2e/zones"
# shellcheck source=lib/privilege.sh
source "$REPO_ROOT/scripts/lib/privilege.sh"
# shellcheck source=lib/loopback-dns.sh
source "$REPO_ROOT/scripts/lib/loopback-dns.sh"
# shellcheck source=lib/real-dns.sh
source "$REPO_ROOT/scripts/lib/real-dns.sh"

die() {
    echo "test.sh: $*" >&2
    exit 2
}

cd "$REPO_ROOT"
BUILD_DIR=${BUILD_DIR:-build}
[[ -f "$BUILD_DIR/CTestTestfile.cmake" ]] || die "no configured build in '$BUILD_DIR'; build first"

# Outside the namespace: re-run this script inside a fresh one.
if [[ "${CORVANE_TEST_NAMESPACE:-}" != 1 ]]; then
    PRIVILEGE_KEEP_ENV+=(TEST_TIMEOUT ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS)
    exec_in_private_namespace CORVANE_TEST_NAMESPACE "$REPO_ROOT/scripts/test.sh" "$@"
fi

command -v ctest >/dev/null || die "ctest is missing; run scripts/install-deps.sh"

WORK=$(mktemp -d /tmp/corvane-e2e.XXXXXX)
WINE_RUNNING=
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    if [[ -n "$WINE_RUNNING" ]]; then
        wineserver -k 2>/dev/null || true
    fi
    stop_real_dns
    stop_loopback_dns
    rm -rf "$WORK"
}
trap cleanup EXIT

# The test zones and the bulk zone of many names, served by NSD on 127.0.0.1 and by the real
# servers of real-dns.sh; links in front of four of them that cost 10 ms and lose 2 % of the
# datagrams each way, from fixed seeds: 127.0.2.N before 127.0.1.N.
mkdir "$WORK/zones"
cp "$ZONES_DIR"/*.zone "$WORK/zones/"
python3 "$REPO_ROOT/scripts/lib/bulk_zone.py" "$WORK/zones"
start_loopback_dns "$WORK/zones" "$WORK" e2e.test
start_real_dns "$WORK/zones" "$WORK"
for n in 2 3 4 5; do
    start_dns_link "127.0.2.$n" "127.0.1.$n" 10 2 "$n"
done
for n in 2 3 4 5; do
    real_dns_wait "127.0.2.$n" e2e.test
done
# Nothing answers on 127.0.0.199; nothing can be reached in 127.0.9.0/24.
ip route add unreachable 127.0.9.0/24 table local

# Asked through sudo, the tests still run as the user who asked, so the build tree stays
# theirs; in this network namespace, and only here, port 53 then needs no privilege. (The
# tests that need root skip themselves.)
if [[ $EUID -eq 0 && -n "${SUDO_UID:-}" && "${SUDO_UID}" != 0 ]]; then
    echo 0 >/proc/sys/net/ipv4/ip_unprivileged_port_start
fi

# A Windows build runs its programs under wine (scripts/wine-run.sh): a prefix of its own in
# the build tree, and one wineserver for the whole run, started here inside the namespace
# (so every wine process, services included, sees only the private network) and ended with it.
if grep -qs 'CMAKE_SYSTEM_NAME "Windows"' "$BUILD_DIR"/CMakeFiles/*/CMakeSystem.cmake; then
    export WINEPREFIX=${WINEPREFIX:-$(cd "$BUILD_DIR" && pwd)/wineprefix}
    # Makes the prefix when it is missing (and waits for that wineserver to end).
    "$REPO_ROOT/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || die "wine does not start"
    wineserver -w
    wineserver -p
    WINE_RUNNING=1
    # The first program of a new wineserver starts wine's own services; later ones are quick.
    "$REPO_ROOT/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || die "wine does not start"
fi

export DNS_E2E_SERVER=127.0.0.1
export DNS_E2E_REAL_SERVERS="nsd-rate-limited=127.0.2.2 unbound=127.0.2.3 dnsmasq=127.0.2.4 named=127.0.2.5"
export DNS_E2E_DNSMASQ_LIMITED=$REAL_DNS_DNSMASQ_LIMITED
export DNS_E2E_UNREACHABLE=127.0.9.9
status=0
run_as_invoking_user ctest --test-dir "$BUILD_DIR" --output-on-failure \
    --timeout "${TEST_TIMEOUT:-300}" "$@" </dev/null || status=$?
exit "$status"

#!/usr/bin/env bash
# Runs the whole CTest suite hermetically: in a private network and mount
# namespace whose only interface is loopback, with a private resolv.conf
# pointing at an NSD instance that serves the zones in tests/e2e/zones.
# No query can reach the real resolver or the network.
#
#   sudo scripts/test.sh [ctest arguments...]
#
# BUILD_DIR selects the build tree (default: build, relative to the
# repository root). A Windows build tree (cmake/mingw-w64.cmake) runs its
# programs under wine, with a prefix in the build tree and one wineserver
# started inside the namespace for the whole run. TEST_TIMEOUT (default 300) bounds every test that sets no
# timeout of its own, so a hanging test cannot hang CI. ctest's exit code is
# the script's exit code.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ZONES_DIR="$REPO_ROOT/tests/e2e/zones"

die() {
    echo "test.sh: $*" >&2
    exit 2
}

# Outside the namespace: re-run this script inside a fresh one.
if [[ "${CORVANE_TEST_NAMESPACE:-}" != 1 ]]; then
    command -v unshare >/dev/null || die "unshare (util-linux) is missing; run scripts/install-deps.sh"
    export CORVANE_TEST_NAMESPACE=1
    if [[ $EUID -eq 0 ]]; then
        exec unshare --net --mount --propagation private "${BASH_SOURCE[0]}" "$@"
    fi
    # Without root, a user namespace gives the same isolation where the kernel allows it.
    exec unshare --map-root-user --net --mount --propagation private "${BASH_SOURCE[0]}" "$@"
fi

for tool in ip nsd nsd-checkconf kdig ctest mount; do
    command -v "$tool" >/dev/null || die "$tool is missing; run scripts/install-deps.sh"
done

cd "$REPO_ROOT"
BUILD_DIR=${BUILD_DIR:-build}
[[ -f "$BUILD_DIR/CTestTestfile.cmake" ]] || die "no configured build in '$BUILD_DIR'; build first"

ip link set lo up

WORK=$(mktemp -d /tmp/corvane-e2e.XXXXXX)
NSD_PID=
WINE_RUNNING=
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    if [[ -n "$WINE_RUNNING" ]]; then
        wineserver -k 2>/dev/null || true
    fi
    if [[ -n "$NSD_PID" ]]; then
        kill "$NSD_PID" 2>/dev/null || true
        wait "$NSD_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# Private resolv.conf: the default-server paths of both commands must reach
# only our server. The mount is private to this namespace.
printf 'nameserver 127.0.0.1\n' >"$WORK/resolv.conf"
[[ -e /etc/resolv.conf ]] || die "/etc/resolv.conf does not exist; nothing to bind-mount over"
mount --bind "$WORK/resolv.conf" /etc/resolv.conf

# NSD configuration: everything in the work dir, no privilege drop, no
# remote control, no state in system directories.
listen="    ip-address: 127.0.0.1"
if ip -6 addr show dev lo 2>/dev/null | grep -q 'inet6 ::1/'; then
    listen+=$'\n    ip-address: ::1'
fi
{
    cat <<EOF
server:
$listen
    port: 53
    username: ""
    chroot: ""
    zonesdir: "$ZONES_DIR"
    pidfile: "$WORK/nsd.pid"
    database: ""
    zonelistfile: "$WORK/zone.list"
    xfrdfile: "$WORK/xfrd.state"
    xfrdir: "$WORK"
    logfile: "$WORK/nsd.log"
    server-count: 1
    verbosity: 1
    hide-version: yes
    round-robin: no
    # No response rate limiting: the suite sends hundreds of like queries at once.
    rrl-ratelimit: 0
    rrl-whitelist-ratelimit: 0
remote-control:
    control-enable: no
EOF
    for zonefile in "$ZONES_DIR"/*.zone; do
        zone=$(basename "$zonefile" .zone)
        printf 'zone:\n    name: "%s"\n    zonefile: "%s"\n' "$zone" "$zone.zone"
    done
} >"$WORK/nsd.conf"
nsd-checkconf "$WORK/nsd.conf" || die "nsd-checkconf rejected the generated configuration"

nsd -d -c "$WORK/nsd.conf" >"$WORK/nsd.out" 2>&1 &
NSD_PID=$!

ready=0
for _ in $(seq 1 100); do
    if kdig @127.0.0.1 e2e.test SOA +short +timeout=1 +retry=0 2>/dev/null | grep -q .; then
        ready=1
        break
    fi
    kill -0 "$NSD_PID" 2>/dev/null || break
    sleep 0.1
done
if [[ $ready != 1 ]]; then
    cat "$WORK/nsd.out" "$WORK/nsd.log" >&2 2>/dev/null || true
    die "NSD did not come up on 127.0.0.1:53"
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
status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout "${TEST_TIMEOUT:-300}" "$@" </dev/null ||
    status=$?
exit "$status"

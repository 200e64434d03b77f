#!/usr/bin/env bash
# Installs everything needed to build and test on a fresh Debian 12 (or a
# similar Debian/Ubuntu) machine; with --windows also the Windows cross-build
# (mingw-w64) and wine for its tests. Non-interactive. Run it as yourself: when
# packages are missing it installs them as root, asking sudo for that when it
# is not root already.
#
#   scripts/install-deps.sh [--windows]
#
# NSD, unbound, BIND 9 and dnsmasq are needed only as the test suite's and
# the benchmark's private servers (scripts/test.sh and bench/run.sh start their
# own instances in a network namespace). No system service of theirs may be
# left running on port 53, so service starts are denied during the
# installation and running instances are stopped afterwards (dnsmasq-base
# brings no service at all).
#
# When every package is present already, apt is not touched at all.
set -euo pipefail

# shellcheck source=lib/privilege.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib/privilege.sh"

# man-db and dpkg-dev: the package's man page and its dependencies (dpkg-shlibdeps).
PACKAGES=(
    build-essential cmake g++ clang libclang-rt-14-dev
    libc-ares-dev libidn2-dev libedit-dev
    libgtest-dev libgmock-dev googletest
    nsd unbound bind9 dnsmasq-base knot-dnsutils iproute2 python3 util-linux clang-format
    dnsutils python3-matplotlib
    dpkg-dev man-db
)
WINDOWS=
case "${1:-}" in
"") ;;
--windows)
    WINDOWS=--windows
    # The Windows build: mingw-w64 (posix threads) and wine to run its tests.
    PACKAGES+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
        wine wine64)
    ;;
*)
    echo "usage: $0 [--windows]" >&2
    exit 2
    ;;
esac

installed() {
    [[ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" == installed ]]
}

missing=()
for pkg in "${PACKAGES[@]}"; do
    installed "$pkg" || missing+=("$pkg")
done

# The servers' system services, as unit name and daemon name.
SERVICES=(nsd:nsd unbound:unbound named:named)

stop_system_servers() {
    local entry unit daemon pid
    for entry in "${SERVICES[@]}"; do
        unit=${entry%%:*} daemon=${entry#*:}
        # Only root can; a user is told, since our tests never use the system's servers.
        if [[ $EUID -ne 0 ]]; then
            if [[ -d /run/systemd/system ]] && systemctl --quiet is-active "$unit.service" 2>/dev/null; then
                echo "install-deps: the system's $unit service runs; stop it with: sudo systemctl disable --now $unit" >&2
            fi
            continue
        fi
        # With systemd as init: stop the unit and keep it from starting at boot.
        if [[ -d /run/systemd/system ]] && command -v systemctl >/dev/null; then
            systemctl disable --now "$unit.service" >/dev/null 2>&1 || true
            continue
        fi
        # Without systemd (containers): stop a daemon the package's init script may have
        # started. Ours run in private namespaces with other arguments: only a daemon started
        # by the system (its parent is init) is stopped.
        for pid in $(pgrep -x "$daemon" 2>/dev/null); do
            if [[ "$(ps -o ppid= -p "$pid" 2>/dev/null | tr -d ' ')" == 1 ]]; then
                echo "install-deps: stopping the system's $daemon (pid $pid)"
                kill "$pid" 2>/dev/null || true
            fi
        done
    done
}

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: all packages present"
    stop_system_servers
    exit 0
fi

if [[ $EUID -ne 0 ]]; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    exec_with_sudo "$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/install-deps.sh" $WINDOWS
fi

echo "install-deps: installing ${missing[*]}"

# Deny service starts while packages are installed (invoke-rc.d honours this).
POLICY=/usr/sbin/policy-rc.d
saved_policy=
if [[ -e "$POLICY" ]]; then
    saved_policy=$(mktemp)
    cp -p "$POLICY" "$saved_policy"
fi
restore_policy() {
    if [[ -n "$saved_policy" ]]; then
        cp -p "$saved_policy" "$POLICY"
        rm -f "$saved_policy"
    else
        rm -f "$POLICY"
    fi
}
trap restore_policy EXIT
printf '#!/bin/sh\n# Temporary: scripts/install-deps.sh denies service starts.\nexit 101\n' >"$POLICY"
chmod 755 "$POLICY"

export DEBIAN_FRONTEND=noninteractive
APT_OPTS=(-y -q --no-install-recommends -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
apt-get update -q </dev/null
apt-get install "${APT_OPTS[@]}" "${missing[@]}" </dev/null

stop_system_servers
echo "install-deps: done"

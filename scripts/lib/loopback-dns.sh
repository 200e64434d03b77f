# shellcheck shell=bash
# Sourced by test.sh, try.sh and bench/run.sh, inside their private network and mount namespace: brings up
# loopback, points a private /etc/resolv.conf at 127.0.0.1 and starts NSD there serving every
# *.zone file of a folder (the zone's name is the file's name without .zone).
#
#   start_loopback_dns ZONES_DIR WORK_DIR NAME_TO_CHECK
#   stop_loopback_dns
#
# Everything NSD writes stays in WORK_DIR. Sets LOOPBACK_DNS_PID.

LOOPBACK_DNS_PID=

loopback_dns_die() {
    echo "${0##*/}: $*" >&2
    exit 2
}

# The configuration of an NSD on the addresses (blank-separated) serving every NAME.zone of
# ZONES_DIR, with everything it writes in WORK_DIR, and EXTRA server lines: no privilege drop,
# no remote control, no state in system folders. Everything else is NSD's default.
#   write_nsd_conf ZONES_DIR WORK_DIR ADDRESSES [EXTRA]
write_nsd_conf() {
    local zones=$1 work=$2 address zonefile zone
    echo "server:"
    for address in $3; do echo "    ip-address: $address"; done
    cat <<CONF
    port: 53
    username: ""
    chroot: ""
    zonesdir: "$zones"
    pidfile: "$work/nsd.pid"
    database: ""
    zonelistfile: "$work/zone.list"
    xfrdfile: "$work/xfrd.state"
    xfrdir: "$work"
    logfile: "$work/nsd.log"
    verbosity: 1
CONF
    [[ -n "${4:-}" ]] && printf '%s\n' "$4"
    printf 'remote-control:\n    control-enable: no\n'
    for zonefile in "$zones"/*.zone; do
        zone=$(basename "$zonefile" .zone)
        printf 'zone:\n    name: "%s"\n    zonefile: "%s"\n' "$zone" "$zone.zone"
    done
}

start_loopback_dns() {
    local zones=$1 work=$2 check=$3 tool
    for tool in ip nsd nsd-checkconf kdig mount; do
        command -v "$tool" >/dev/null || loopback_dns_die "$tool is missing; run scripts/install-deps.sh"
    done
    ip link set lo up

    # The default-server paths of both commands must reach only our server. The mount is
    # private to this namespace.
    printf 'nameserver 127.0.0.1\n' >"$work/resolv.conf"
    [[ -e /etc/resolv.conf ]] || loopback_dns_die "/etc/resolv.conf does not exist; nothing to bind-mount over"
    mount --bind "$work/resolv.conf" /etc/resolv.conf

    local listen="127.0.0.1"
    if ip -6 addr show dev lo 2>/dev/null | grep -q 'inet6 ::1/'; then
        listen+=" ::1"
    fi
    # No response rate limiting: the tests send hundreds of like queries at once.
    write_nsd_conf "$zones" "$work" "$listen" \
        "    server-count: 1
    hide-version: yes
    round-robin: no
    rrl-ratelimit: 0
    rrl-whitelist-ratelimit: 0" >"$work/nsd.conf"
    nsd-checkconf "$work/nsd.conf" || loopback_dns_die "nsd-checkconf rejected the generated configuration"

    nsd -d -c "$work/nsd.conf" >"$work/nsd.out" 2>&1 &
    LOOPBACK_DNS_PID=$!

    # Ready when it answers; polled, since NSD has no readiness notice to wait on.
    local ready=0
    for _ in $(seq 1 100); do
        if kdig @127.0.0.1 "$check" SOA +short +timeout=1 +retry=0 2>/dev/null | grep -q .; then
            ready=1
            break
        fi
        kill -0 "$LOOPBACK_DNS_PID" 2>/dev/null || break
        sleep 0.1
    done
    if [[ $ready != 1 ]]; then
        cat "$work/nsd.out" "$work/nsd.log" >&2 2>/dev/null || true
        loopback_dns_die "NSD did not come up on 127.0.0.1:53"
    fi
}

stop_loopback_dns() {
    if [[ -n "$LOOPBACK_DNS_PID" ]]; then
        kill "$LOOPBACK_DNS_PID" 2>/dev/null || true
        wait "$LOOPBACK_DNS_PID" 2>/dev/null || true
        LOOPBACK_DNS_PID=
    fi
}

# shellcheck shell=bash
# Sourced by test.sh and bench/run.sh after start_loopback_dns (loopback-dns.sh), inside the same
# private network namespace: the DNS servers people really use, from Debian, with Debian's
# default limits, pointed at the loopback NSD through links that cost time:
#
#   127.0.1.1   a 5 ms link to the NSD of 127.0.0.1 (the recursive servers' upstream)
#   127.0.1.2   NSD serving the same zones with its default response rate limit
#   127.0.1.3   unbound      \
#   127.0.1.4   dnsmasq       > resolving through 127.0.1.1
#   127.0.1.5   BIND 9 named /
#   127.0.1.6   dnsmasq with a forward limit of 16, below the Windows client's 32 threads
#
#   start_real_dns ZONES_DIR WORK_DIR
#   start_dns_link LISTEN UPSTREAM ROUND_TRIP_MS [LOSS_PERCENT [SEED]]
#   stop_real_dns
#
# Only what pointing them at our zones needs is configured: where to listen, where the zones
# are, no privilege drop, no system folders, no DNSSEC validation of the test zones (which
# are unsigned and have no signed parent here). Rate limits, forward limits, caches and
# time-outs stay the packages' defaults.

REAL_DNS_PIDS=()
REAL_DNS_LINK=127.0.1.1
REAL_DNS_NSD_RRL=127.0.1.2
REAL_DNS_UNBOUND=127.0.1.3
REAL_DNS_DNSMASQ=127.0.1.4
REAL_DNS_NAMED=127.0.1.5
REAL_DNS_DNSMASQ_LIMITED=127.0.1.6
REAL_DNS_RELAY=${REAL_DNS_RELAY:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/bench/delay_proxy.py}

real_dns_die() {
    echo "${0##*/}: $*" >&2
    exit 2
}

# A relay on LISTEN:53 (UDP and TCP) in front of UPSTREAM:53 that adds the round trip and
# loses that share of datagrams each way, from a fixed seed.
start_dns_link() {
    local listen=$1 upstream=$2 ms=$3 loss=${4:-0} seed=${5:-1}
    python3 "$REAL_DNS_RELAY" --listen "$listen" --upstream "$upstream" --delay-ms "$ms" \
        --loss "$loss" --seed "$seed" --stats "$REAL_DNS_WORK/link-$listen.stats" \
        >"$REAL_DNS_WORK/link-$listen.log" 2>&1 &
    REAL_DNS_PIDS+=($!)
}

# The zone names of a folder of NAME.zone files.
real_dns_zones() {
    local file
    for file in "$1"/*.zone; do basename "$file" .zone; done
}

# The zones again, from an NSD with its default response rate limit (write_nsd_conf of
# loopback-dns.sh).
real_dns_nsd_rrl() {
    local zones=$1 work=$2/nsd-rrl
    mkdir -p "$work"
    write_nsd_conf "$zones" "$work" "$REAL_DNS_NSD_RRL" >"$work/nsd.conf"
    nsd -d -c "$work/nsd.conf" >"$work/nsd.out" 2>&1 &
    REAL_DNS_PIDS+=($!)
}

real_dns_unbound() {
    local zones=$1 work=$2/unbound zone
    mkdir -p "$work"
    {
        cat <<CONF
server:
    interface: $REAL_DNS_UNBOUND
    port: 53
    do-ip6: no
    username: ""
    chroot: ""
    directory: "$work"
    pidfile: "$work/unbound.pid"
    use-syslog: no
    logfile: "$work/unbound.log"
    do-not-query-localhost: no
    local-zone: "test." nodefault
CONF
        for zone in $(real_dns_zones "$zones"); do
            printf '    local-zone: "%s." nodefault\n    domain-insecure: "%s."\n' "$zone" "$zone"
        done
        printf 'remote-control:\n    control-enable: no\n'
        for zone in $(real_dns_zones "$zones"); do
            printf 'stub-zone:\n    name: "%s."\n    stub-addr: %s\n' "$zone" "$REAL_DNS_LINK"
        done
    } >"$work/unbound.conf"
    unbound-checkconf "$work/unbound.conf" >/dev/null || real_dns_die "unbound-checkconf rejected $work/unbound.conf"
    unbound -d -c "$work/unbound.conf" >"$work/unbound.out" 2>&1 &
    REAL_DNS_PIDS+=($!)
}

# real_dns_dnsmasq WORK ADDRESS [OPTION...]
real_dns_dnsmasq() {
    local work=$1/dnsmasq-$2 address=$2
    shift 2
    mkdir -p "$work"
    dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts --no-poll \
        --listen-address="$address" --bind-interfaces --port=53 "$@" \
        --server="$REAL_DNS_LINK" --pid-file="$work/dnsmasq.pid" \
        --user="$(id -un)" --group="$(id -gn)" --log-facility="$work/dnsmasq.log" \
        >"$work/dnsmasq.out" 2>&1 &
    REAL_DNS_PIDS+=($!)
}

real_dns_named() {
    local zones=$1 work=$2/named zone
    mkdir -p "$work"
    {
        cat <<CONF
options {
    directory "$work";
    pid-file "$work/named.pid";
    session-keyfile "$work/session.key";
    managed-keys-directory "$work";
    listen-on port 53 { $REAL_DNS_NAMED; };
    listen-on-v6 { none; };
    recursion yes;
    // Nothing here is signed and no root is reachable: with validation on, named keeps
    // trying to fetch the root's key, and each failed try stalls its answers for a moment.
    dnssec-validation no;
CONF
        for zone in $(real_dns_zones "$zones"); do
            [[ "$zone" == *.arpa ]] && printf '    disable-empty-zone "%s";\n' "$zone"
        done
        printf '};\ncontrols { };\n'
        # Each test zone forwarded to the NSD behind the link.
        for zone in $(real_dns_zones "$zones"); do
            printf 'zone "%s" { type forward; forward only; forwarders { %s; }; };\n' "$zone" "$REAL_DNS_LINK"
        done
    } >"$work/named.conf"
    named-checkconf "$work/named.conf" || real_dns_die "named-checkconf rejected $work/named.conf"
    named -g -c "$work/named.conf" >"$work/named.out" 2>&1 &
    REAL_DNS_PIDS+=($!)
}

# Waits until the server answers a name of the zones.
real_dns_wait() {
    local server=$1 name=$2
    for _ in $(seq 1 100); do
        if kdig @"$server" "$name" SOA +short +timeout=1 +retry=0 2>/dev/null | grep -q .; then
            return 0
        fi
        sleep 0.1
    done
    for log in "$REAL_DNS_WORK"/*/*.out "$REAL_DNS_WORK"/*.log; do
        [[ -s "$log" ]] && { echo "== $log"; tail -20 "$log"; } >&2
    done
    real_dns_die "no answer from $server for $name"
}

start_real_dns() {
    local zones=$1 tool
    REAL_DNS_WORK=$2
    for tool in nsd unbound unbound-checkconf dnsmasq named named-checkconf kdig python3; do
        command -v "$tool" >/dev/null || real_dns_die "$tool is missing; run scripts/install-deps.sh"
    done
    # BIND and dnsmasq listen only on addresses an interface holds.
    local check server
    for server in "$REAL_DNS_NSD_RRL" "$REAL_DNS_UNBOUND" "$REAL_DNS_DNSMASQ" "$REAL_DNS_NAMED" \
        "$REAL_DNS_DNSMASQ_LIMITED"; do
        ip addr add "$server/32" dev lo 2>/dev/null || true
    done
    check=$(real_dns_zones "$zones" | grep -v arpa | head -1)
    start_dns_link "$REAL_DNS_LINK" 127.0.0.1 5
    real_dns_nsd_rrl "$zones" "$REAL_DNS_WORK"
    real_dns_unbound "$zones" "$REAL_DNS_WORK"
    real_dns_dnsmasq "$REAL_DNS_WORK" "$REAL_DNS_DNSMASQ"
    real_dns_dnsmasq "$REAL_DNS_WORK" "$REAL_DNS_DNSMASQ_LIMITED" --dns-forward-max=16
    real_dns_named "$zones" "$REAL_DNS_WORK"
    for server in "$REAL_DNS_LINK" "$REAL_DNS_NSD_RRL" "$REAL_DNS_UNBOUND" "$REAL_DNS_DNSMASQ" \
        "$REAL_DNS_NAMED" "$REAL_DNS_DNSMASQ_LIMITED"; do
        real_dns_wait "$server" "$check"
    done
}

stop_real_dns() {
    local pid
    for pid in "${REAL_DNS_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${REAL_DNS_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    REAL_DNS_PIDS=()
}

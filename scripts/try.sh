#!/usr/bin/env bash
# Tries corvane and its DNS plug-in on this machine without any network: NSD serves the demo
# zone corvane.test (scripts/demo/) on loopback inside a private network and mount namespace,
# whose /etc/resolv.conf names that server. Then it looks up the demo zone and, on a terminal,
# opens the corvane prompt in the same namespace: dns, rdns, /S, /P, colours all work there,
# and nothing reaches the real network.
#
#   scripts/try.sh            BUILD_DIR selects the build tree (default: build)
#
# As root it makes the namespace itself; as a user it uses a user namespace where the kernel
# allows one, else it asks sudo (and still runs corvane as you).
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=lib/privilege.sh
source "$REPO_ROOT/scripts/lib/privilege.sh"
# shellcheck source=lib/loopback-dns.sh
source "$REPO_ROOT/scripts/lib/loopback-dns.sh"

cd "$REPO_ROOT"
BUILD_DIR=${BUILD_DIR:-build}
CORVANE=$(cd "$BUILD_DIR" 2>/dev/null && pwd)/corvane
if [[ ! -x "$CORVANE" || ! -e "$(dirname "$CORVANE")/Dns.so" ]]; then
    echo "try.sh: no corvane with Dns.so in '$BUILD_DIR'; build first:" >&2
    echo "  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j2 --target corvane Dns" >&2
    exit 2
fi

if [[ "${CORVANE_TRY_NAMESPACE:-}" != 1 ]]; then
    PRIVILEGE_KEEP_ENV+=(Highlight CORVANE_COLOR noloadmsg)
    exec_in_private_namespace CORVANE_TRY_NAMESPACE "$REPO_ROOT/scripts/try.sh" "$@"
fi

WORK=$(mktemp -d /tmp/corvane-try.XXXXXX)
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    stop_loopback_dns
    rm -rf "$WORK"
}
trap cleanup EXIT
start_loopback_dns "$REPO_ROOT/scripts/demo" "$WORK" corvane.test

LINE="dns /K corvane.test"
printf '$ corvane -c "%s"\n' "$LINE"
status=0
run_as_invoking_user "$CORVANE" -c "$LINE" || status=$?
[[ $status -eq 0 ]] || exit "$status"

if [[ -t 0 && -t 1 ]]; then
    cat <<'TEXT'

This is the corvane prompt, in a private network where only the demo zone exists.
Try:  dns www.corvane.test      dns /S /K pool.corvane.test      dns /P:2,5 corvane.test
      rdns /M 198.51.100.10     rdns 2001:db8:c0::25             dns /?
      set Highlight=bright yellow on blue      help      exit
Tab completes commands and options; the Up key brings back earlier lines.

TEXT
    run_as_invoking_user "$CORVANE" || status=$?
fi
exit "$status"

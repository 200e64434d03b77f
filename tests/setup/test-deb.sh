#!/usr/bin/env bash
# The .deb, without touching this machine's own system: cpack makes it from the build; then,
# in a private mount namespace, an overlay over the root file system (its changes kept in
# memory) becomes the root of a chroot, where dpkg -i installs the package, corvane runs from
# PATH, man shows corvane(1) and dpkg -r removes every file the package brought. Needs root;
# reports itself skipped (77) without.
#
#   test-deb.sh BUILD_DIR MODULE_DIR    (the module folder below the prefix /usr)
set -euo pipefail

# Root of this machine, not of a user namespace (whose mounts and chroot act differently).
if [[ $EUID -ne 0 || "$(awk 'NR == 1 { print $1, $2, $3 }' /proc/self/uid_map)" != "0 0 4294967295" ]]; then
    echo "skipped: the package test needs root (mount namespace, overlay, chroot)"
    exit 77
fi
if [[ "${CORVANE_DEB_TEST_NAMESPACE:-}" != 1 ]]; then
    export CORVANE_DEB_TEST_NAMESPACE=1
    exec unshare --mount --propagation private "$0" "$@"
fi

BUILD=$(cd "$1" && pwd)
MODULE_DIR=/usr/$2
T=$(mktemp -d /tmp/corvane-deb.XXXXXX)
mount -t tmpfs -o mode=0755 corvane-deb "$T"
trap 'umount -R "$T" 2>/dev/null || umount -l "$T"; rmdir "$T"' EXIT

# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

if ! cpack --config "$BUILD/CPackConfig.cmake" -G DEB -B "$T/packages" >"$T/cpack.log" 2>&1; then
    cat "$T/cpack.log" >&2
    echo "cpack failed" >&2
    exit 1
fi
debs=("$T"/packages/*.deb)
DEB=${debs[0]}
echo "# $(basename "$DEB")"

# What the package says it needs: a package for every library its programs link.
depends=$(dpkg-deb -f "$DEB" Depends)
dpkg-deb -x "$DEB" "$T/contents"
needed_packages() {
    local file library path
    for file in "$T/contents/usr/bin/corvane" "$T/contents$MODULE_DIR"/*.so; do
        for library in $(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            case "$library" in libcorvane.so | libcorvaneconsole.so) continue ;; esac # its own
            path=$(ldconfig -p | awk -v lib="$library" '$1 == lib && /x86-64/ { print $NF; exit }')
            # dpkg knows a file by the path its package gave, which merged /usr may hide.
            { dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" 2>/dev/null; } |
                cut -d: -f1 | head -n 1
        done
    done | sort -u
}
for package in $(needed_packages); do
    check "Depends names $package" output_has "$depends" "$package"
done

# The overlay root: every change lands in $T/upper.
STATUS_BEFORE=$(md5sum </var/lib/dpkg/status)
mkdir -p "$T/upper" "$T/work" "$T/root"
mount -t overlay corvane-deb-root -o "lowerdir=/,upperdir=$T/upper,workdir=$T/work" "$T/root"
mount --rbind /dev "$T/root/dev"
mount --rbind /proc "$T/root/proc"
mount -t tmpfs -o mode=1777 corvane-deb-tmp "$T/root/tmp"
cp "$DEB" "$T/root/tmp/"
# Images that leave out man pages and documentation would install neither; the test wants the
# package's own behaviour, so such filters are dropped inside the overlay.
for config in "$T"/root/etc/dpkg/dpkg.cfg.d/*; do
    [[ -f "$config" ]] && sed -i '/^path-exclude/d' "$config"
done

inside() {
    chroot "$T/root" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LC_ALL=C.UTF-8 TERM=dumb "$@"
}

status=0
inside dpkg -i "/tmp/$(basename "$DEB")" >"$T/install.log" 2>&1 || status=$?
check "dpkg -i installs it" output_is "$status" 0
[[ $status -eq 0 ]] || cat "$T/install.log"
check "dpkg knows it as installed" \
    output_is "$(inside dpkg-query -W -f='${Status} ${Version}' corvane)" "install ok installed 1.0.9.2"
check "corvane is on PATH" output_is "$(inside sh -c 'command -v corvane')" /usr/bin/corvane
check "corvane -c \"dns /?\" works from PATH" output_has "$(inside sh -c 'cd /tmp && corvane -c "dns /?"')" \
    $'Display DNS records for a domain or host.\n\nDNS /K /N: /P /S /W server name...'
check "the installed module is loaded" output_is "$(inside corvane -c plugins)" \
    "DNS 1.0.9  Replacement for the DNS command"
check "man corvane shows the page" \
    output_has "$(inside env MANWIDTH=200 man -P cat corvane 2>&1)" \
    "corvane - console command processor with the DNS and RDNS lookup commands"

inside dpkg-query -L corvane >"$T/files"
check "the module folder is the package's" grep -qx "$MODULE_DIR/Dns.so" "$T/files"

status=0
inside dpkg -r corvane >"$T/remove.log" 2>&1 || status=$?
check "dpkg -r removes it" output_is "$status" 0
left=()
while read -r path; do
    [[ -e "$T/root$path" && ! -d "$T/root$path" ]] && left+=("$path")
done <"$T/files"
check "no file of the package is left" output_is "${left[*]}" ""
check "its own folders are gone" output_is \
    "$(cd "$T/root" && ls -d ".$MODULE_DIR" usr/share/doc/corvane 2>/dev/null)" ""
check "nothing of it is left under /usr in the overlay" \
    output_is "$(cd "$T/upper" && find usr -not -type d 2>/dev/null)" ""
# A package with maintainer scripts (cpack adds an ldconfig call for libraries under
# /usr/lib) stays known as "config-files" until it is purged.
state=$(inside dpkg-query -W -f='${db:Status-Status}' corvane 2>/dev/null || true)
check "dpkg knows it as removed" output_has " not-installed config-files " " ${state:-not-installed} "
inside dpkg --purge corvane >>"$T/remove.log" 2>&1
state=$(inside dpkg-query -W -f='${db:Status-Status}' corvane 2>/dev/null || true)
check "purged, dpkg no longer knows it" output_is "${state:-not-installed}" not-installed
check "this machine's own package database is untouched" \
    output_is "$(md5sum </var/lib/dpkg/status)" "$STATUS_BEFORE"

checks_done

#!/usr/bin/env bash
# The README's quick start, pasted as it stands, in fresh copies of the source tree:
#   1. as root on a machine without sudo: it must never ask sudo;
#   2. as a user with sudo, where the kernel gives users no namespaces and a package seems to
#      be missing: it asks sudo for exactly those two steps, and what it builds is the user's;
#   3. the same user's demo once more where user namespaces work: no sudo at all.
# Each ends with the record table of the demo zone. Runs in a private mount namespace: the
# copies, the test user's passwd entry and the sudo stand-in (setuid root) live on a tmpfs
# that no one else sees. Needs root; reports itself skipped (77) without.
#
#   test-quickstart.sh SOURCE_DIR FAKE_SUDO
set -euo pipefail

# Root of this machine, not of a user namespace (whose mounts and chroot act differently).
if [[ $EUID -ne 0 || "$(awk 'NR == 1 { print $1, $2, $3 }' /proc/self/uid_map)" != "0 0 4294967295" ]]; then
    echo "skipped: the quick-start test needs root (mount namespace, a test user, setuid)"
    exit 77
fi
if [[ "${CORVANE_QUICKSTART_TEST_NAMESPACE:-}" != 1 ]]; then
    export CORVANE_QUICKSTART_TEST_NAMESPACE=1
    exec unshare --mount --propagation private "$0" "$@"
fi

SOURCE=$(cd "$1" && pwd)
FAKE_SUDO=$2
USER_ID=64123
USER_NAME=corvane-quickstart
T=$(mktemp -d /tmp/corvane-quickstart.XXXXXX)
mount -t tmpfs -o mode=0755,size=2g corvane-quickstart "$T"
trap 'umount -R "$T" 2>/dev/null || umount -l "$T"; rmdir "$T"' EXIT

# shellcheck source=checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# The README's first two shell blocks after its "Quick start" heading.
readme_block() {
    awk -v want="$1" '
        /^## Quick start/ { on = 1; next }
        on && /^## / { exit }
        on && /^```sh$/ { n++; inblock = 1; next }
        inblock && /^```$/ { inblock = 0; next }
        inblock && n == want { print }
    ' "$SOURCE/README.md"
}
FIRST=$(readme_block 1)
SECOND=$(readme_block 2)
echo "# first command:  $FIRST"
echo "# second command: $SECOND"
check "the first command ends in the demo" output_is "${FIRST##*&& }" "scripts/try.sh"
check "the second command runs the tests" output_is "${SECOND##*&& }" "scripts/test.sh"

# A fresh copy: the files git knows, plus new ones it does not ignore.
copy_tree() {
    mkdir -p "$1"
    if git -C "$SOURCE" rev-parse --git-dir >/dev/null 2>&1; then
        git -C "$SOURCE" ls-files -z --cached --others --exclude-standard |
            (cd "$SOURCE" && xargs -0 -r sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh) |
            tar -C "$SOURCE" --null -T - -cf - | tar -C "$1" -xf -
    else
        tar -C "$SOURCE" --exclude='./build*' -cf - . | tar -C "$1" -xf -
    fi
}

# The record table of the demo zone, as the end of the output.
EXPECTED_TABLE=$(cat <<'TABLE'
$ corvane -c "dns /K corvane.test"

Type    Field       Value
-----------------------------------
A       ADDRESS     198.51.100.10
AAAA    ADDRESS     2001:db8:c0::10
NS      DNAME       ns1.corvane.test
NS      DNAME       ns2.corvane.test
SOA     MNAME       ns1.corvane.test
        RNAME       hostmaster.corvane.test
        SERIAL      2024120801
        REFRESH     7200
        RETRY       900
        EXPIRE      1209600
        MINIMUM     300
MX      PREFERENCE  20
        EXCHANGE    backup-mail.corvane.test
MX      PREFERENCE  10
        EXCHANGE    mail.corvane.test
TXT     TXT         Corvane demo zone: try dns /S, /K, /P and rdns 198.51.100.10
LOC     LOCATION    52° 22' 23.000" N  4° 53' 32.000" E  -2m
TABLE
)
ends_with_table() {
    local output=$1 lines
    lines=$(printf '%s\n' "$EXPECTED_TABLE" | wc -l)
    local tail_part
    tail_part=$(printf '%s\n' "$output" | tail -n $((lines + 2)))
    output_is "$(printf '%s\n' "$tail_part" | head -n "$lines")" "$EXPECTED_TABLE" &&
        [[ "$(printf '%s\n' "$tail_part" | tail -n 2)" =~ ^$'\n'"  9 records found   "[0-9]:[0-9]{2}\.[0-9]{3}$ ]]
}
show_on_failure() {
    [[ $failures -eq 0 ]] || { echo "--- output of $1:"; tail -n 60 "$2"; }
}

SYSTEM_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
USER_PATH=/usr/local/bin:/usr/bin:/bin # a Debian user's: no sbin

# 1. As root, without sudo: a "sudo" that notes any call and fails as a missing one would.
mkdir -p "$T/root-bin" "$T/root-home"
cat >"$T/root-bin/sudo" <<STUB
#!/bin/sh
echo "sudo \$*" >>"$T/root-sudo.log"
echo "sudo: command not found" >&2
exit 127
STUB
chmod 755 "$T/root-bin/sudo"
copy_tree "$T/as-root"
status=0
(cd "$T/as-root" && env -i HOME="$T/root-home" PATH="$T/root-bin:$SYSTEM_PATH" LANG=C.UTF-8 \
    bash -c "$FIRST" </dev/null >"$T/root.out" 2>&1) || status=$?
before=$failures
check "as root: the first command succeeds" output_is "$status" 0
check "as root: it ends with the demo zone's table" ends_with_table "$(cat "$T/root.out")"
check "as root: sudo is never called" test ! -e "$T/root-sudo.log"
[[ $failures -eq $before ]] || { echo "--- output as root:"; tail -n 60 "$T/root.out"; }

# 2. As a user with sudo. The user exists only in this namespace's passwd and group files.
cp /etc/passwd "$T/passwd"
cp /etc/group "$T/group"
echo "$USER_NAME:x:$USER_ID:$USER_ID:quick start test:$T/user-home:/bin/bash" >>"$T/passwd"
echo "$USER_NAME:x:$USER_ID:" >>"$T/group"
mount --bind "$T/passwd" /etc/passwd
mount --bind "$T/group" /etc/group
mkdir -p "$T/user-bin" "$T/user-home"
install -o root -g root -m 4755 "$FAKE_SUDO" "$T/user-bin/sudo"
# A kernel that gives users no namespaces of their own (as some distributions configure it).
cat >"$T/user-bin/unshare" <<'STUB'
#!/bin/sh
for argument; do
    if [ "$argument" = --map-root-user ]; then
        echo "unshare: write failed /proc/self/uid_map: Operation not permitted" >&2
        exit 1
    fi
done
exec /usr/bin/unshare "$@"
STUB
# One build dependency seems to be missing, so that install-deps.sh has to ask for root. Under
# sudo the real dpkg-query answers, which finds everything installed.
cat >"$T/user-bin/dpkg-query" <<'STUB'
#!/bin/sh
for argument; do
    if [ "$argument" = libedit-dev ]; then
        echo not-installed
        exit 0
    fi
done
exec /usr/bin/dpkg-query "$@"
STUB
chmod 755 "$T/user-bin/unshare" "$T/user-bin/dpkg-query"
copy_tree "$T/as-user"
chown -R "$USER_ID:$USER_ID" "$T/as-user" "$T/user-home"
touch "$T/sudo.log"
as_user() {
    local path=$1
    shift
    (cd "$T/as-user" && setpriv --reuid="$USER_ID" --regid="$USER_ID" --init-groups \
        env -i HOME="$T/user-home" USER="$USER_NAME" LOGNAME="$USER_NAME" PATH="$path" \
        LANG=C.UTF-8 FAKE_SUDO_LOG="$T/sudo.log" "$@" </dev/null)
}
status=0
as_user "$T/user-bin:$USER_PATH" bash -c "$FIRST" >"$T/user.out" 2>&1 || status=$?
before=$failures
check "as a user with sudo: the first command succeeds" output_is "$status" 0
check "as a user with sudo: it ends with the demo zone's table" ends_with_table "$(cat "$T/user.out")"
check "as a user with sudo: sudo only for the packages and the namespace" output_is \
    "$(sed -E 's/^env( [A-Za-z_]+=[^ ]*)* //' "$T/sudo.log")" \
    "$T/as-user/scripts/install-deps.sh"$'\n'"$T/as-user/scripts/try.sh"
check "as a user with sudo: everything in the tree is the user's" \
    output_is "$(find "$T/as-user" -not -user "$USER_ID" | head -n 5)" ""
[[ $failures -eq $before ]] || { echo "--- output as a user:"; tail -n 60 "$T/user.out"; }

# 3. The same user where user namespaces work: the demo needs no sudo.
mkdir -p "$T/user-bin-plain"
install -o root -g root -m 4755 "$FAKE_SUDO" "$T/user-bin-plain/sudo"
: >"$T/sudo.log"
status=0
as_user "$T/user-bin-plain:$USER_PATH" scripts/try.sh >"$T/user-ns.out" 2>&1 || status=$?
before=$failures
check "as a user, with user namespaces: the demo succeeds" output_is "$status" 0
check "as a user, with user namespaces: the demo zone's table" \
    ends_with_table "$(cat "$T/user-ns.out")"
check "as a user, with user namespaces: no sudo" output_is "$(cat "$T/sudo.log")" ""
[[ $failures -eq $before ]] || { echo "--- output with user namespaces:"; cat "$T/user-ns.out"; }

checks_done

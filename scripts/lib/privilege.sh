# shellcheck shell=bash
# Sourced by the scripts that need root for one thing (installing packages, a private network
# namespace with port 53). They run as whoever started them and ask for root only then: as
# root nothing is asked, as a user a user namespace is used where the kernel allows one, and
# sudo only where nothing else will do. So the same command line works as root on a machine
# without sudo and as a user with sudo.

# The system tools the scripts use (nsd, ip) live in sbin, which a user's PATH often lacks.
for dir in /usr/sbin /sbin; do
    case ":$PATH:" in
        *":$dir:"*) ;;
        *) PATH=$PATH:$dir ;;
    esac
done
export PATH

# Environment variables that the re-run script still needs after sudo, which resets the
# environment; each script adds its own.
PRIVILEGE_KEEP_ENV=(BUILD_DIR HOME TERM LANG LC_ALL LC_CTYPE XDG_STATE_HOME XDG_CONFIG_HOME)

# Runs the command as root through sudo, passing on the PRIVILEGE_KEEP_ENV variables that are
# set. Fails with a message naming what needs root when there is no sudo.
exec_with_sudo() {
    local name assignments=()
    if ! command -v sudo >/dev/null; then
        echo "${0##*/}: this needs root, and there is no sudo: run it as root" >&2
        exit 1
    fi
    for name in "${PRIVILEGE_KEEP_ENV[@]}"; do
        [[ -n "${!name+set}" ]] && assignments+=("$name=${!name}")
    done
    echo "${0##*/}: asking sudo for root ($*)" >&2
    exec sudo env "${assignments[@]}" "$@"
}

# Whether this user may make a user namespace with its own network and mounts.
user_namespace_works() {
    unshare --map-root-user --net --mount true 2>/dev/null
}

# Re-runs "$@" (the script and its arguments) in a private network and mount namespace: a
# network with only loopback, mounts that no one else sees. MARKER names the variable that
# tells the re-run script it is inside.
exec_in_private_namespace() {
    local marker=$1
    shift
    command -v unshare >/dev/null || {
        echo "${0##*/}: unshare (util-linux) is missing; run scripts/install-deps.sh" >&2
        exit 2
    }
    if [[ $EUID -eq 0 ]]; then
        export "$marker=1"
        exec unshare --net --mount --propagation private "$@"
    fi
    if user_namespace_works; then
        export "$marker=1"
        exec unshare --map-root-user --net --mount --propagation private "$@"
    fi
    # As root, the script comes back here and makes the namespace itself.
    exec_with_sudo "$@"
}

# Runs a command as the user who asked sudo for root (SUDO_UID), so that what it writes in
# the home folder (the prompt's history) belongs to that user; as itself otherwise.
run_as_invoking_user() {
    if [[ $EUID -eq 0 && -n "${SUDO_UID:-}" && "${SUDO_UID}" != 0 ]]; then
        local groups=--clear-groups
        getent passwd "$SUDO_UID" >/dev/null 2>&1 && groups=--init-groups
        setpriv --reuid="$SUDO_UID" --regid="${SUDO_GID:-$SUDO_UID}" "$groups" -- "$@"
    else
        "$@"
    fi
}

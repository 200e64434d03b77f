#!/usr/bin/env bash
# Portability check: the module (dns/) and the host (host/) must build on any
# OS unchanged, so operating-system headers and OS conditionals belong under
# platform/ only. Lists every offending line and fails if there is one.
#
#   scripts/check-portable.sh [REPO_ROOT]
set -euo pipefail

ROOT=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$ROOT"

# Headers of an operating system (POSIX, Linux, Windows, macOS), as they
# appear between <> or "" after #include.
os_headers=(
    'windows\.h' 'winsock2?\.h' 'ws2tcpip\.h' 'windns\.h' 'iphlpapi\.h' 'winreg\.h'
    'winbase\.h' 'wincon\.h' 'winuser\.h' 'winnls\.h' 'conio\.h' 'io\.h' 'process\.h'
    'direct\.h' 'tchar\.h' 'shlobj\.h' 'objbase\.h'
    'unistd\.h' 'sys/[^>"]*' 'netinet/[^>"]*' 'arpa/[^>"]*' 'net/[^>"]*' 'linux/[^>"]*'
    'asm/[^>"]*' 'bits/[^>"]*' 'mach/[^>"]*' 'mach-o/[^>"]*'
    'termios\.h' 'termio\.h' 'dlfcn\.h' 'signal\.h' 'csignal' 'fcntl\.h' 'poll\.h'
    'pthread\.h' 'netdb\.h' 'resolv\.h' 'ifaddrs\.h' 'dirent\.h' 'pwd\.h' 'grp\.h'
    'syslog\.h' 'semaphore\.h' 'spawn\.h' 'ucontext\.h' 'utmpx?\.h' 'wordexp\.h'
    'glob\.h' 'langinfo\.h' 'iconv\.h' 'libgen\.h' 'sched\.h' 'curses\.h' 'ncurses\.h'
    'pty\.h' 'dispatch/[^>"]*' 'CoreFoundation/[^>"]*'
)
include_re="^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($(IFS='|'; echo "${os_headers[*]}"))[>\"]"

# Macros that name an operating system, tested in #if/#ifdef/#ifndef/#elif.
os_macros='_WIN32|_WIN64|WIN32|_WINDOWS|__WINDOWS__|__CYGWIN__|__MINGW32__|__MINGW64__|__linux__|__linux|__gnu_linux__|linux|__unix__|__unix|unix|__APPLE__|__MACH__|TARGET_OS_[A-Z_]+|__FreeBSD__|__NetBSD__|__OpenBSD__|__DragonFly__|__ANDROID__|__sun|__HAIKU__|_POSIX_VERSION|__posix'
cond_re="^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif|elifdef|elifndef)\\b.*\\b(${os_macros})\\b"

dirs=()
for dir in dns host; do
    [[ -d "$dir" ]] && dirs+=("$dir")
done

sources=(--include='*.c' --include='*.cc' --include='*.cpp' --include='*.cxx' --include='*.h'
    --include='*.hh' --include='*.hpp' --include='*.hxx' --include='*.inl')

status=0
report() {
    local what=$1 regex=$2 hits
    [[ ${#dirs[@]} -gt 0 ]] || return 0
    if hits=$(grep -rnE "${sources[@]}" "$regex" "${dirs[@]}" | sort); then
        sed "s/\$/: $what outside platform\//" <<<"$hits" >&2
        status=1
    fi
}
report "OS header" "$include_re"
report "OS conditional" "$cond_re"

if [[ $status -eq 0 ]]; then
    echo "check-portable: dns/ and host/ are free of OS headers and OS conditionals"
else
    echo "check-portable: move OS-specific code under platform/" >&2
fi
exit "$status"

#!/usr/bin/env bash
# Portability check, and the boundaries of the platform layer. Lists every
# offending line and fails if there is one.
#
# - The module (dns/) and the host (host/) build on any OS unchanged:
#   operating-system headers and OS conditionals belong under platform/ only.
# - platform/ is one folder per service (text, console, resolver, system, host);
#   no source file stands loose in platform/ itself.
# - A source file without the Posix or Win suffix is built on every platform,
#   so platform/ keeps no OS header and no OS conditional in such a .cpp.
# - A header with the Posix or Win suffix is a backend's internal header: only
#   files of its own service folder and that service's tests
#   (tests/platform/<service>/, and the fuzz targets of tests/fuzz/) include it.
#   Contract headers carry no suffix.
# - Nothing that Dns.so links (dns/, and platform/ but for platform/host/)
#   includes the command processor's code: host/ or platform/host/.
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

sources=(--include='*.c' --include='*.cc' --include='*.cpp' --include='*.cxx' --include='*.h'
    --include='*.hh' --include='*.hpp' --include='*.hxx' --include='*.inl')
source_re='\.(c|cc|cpp|cxx|h|hh|hpp|hxx|inl)$'

status=0
fail() {
    echo "$1" >&2
    status=1
}

# grep in the given folders (those that exist), sorted; nothing found is no error.
grep_sources() {
    local regex=$1 existing=()
    shift
    for dir in "$@"; do
        [[ -e "$dir" ]] && existing+=("$dir")
    done
    [[ ${#existing[@]} -gt 0 ]] || return 0
    grep -rnE "${sources[@]}" "$regex" "${existing[@]}" | sort || true
}

report() {
    local what=$1 regex=$2 hits
    hits=$(grep_sources "$regex" dns host)
    [[ -z "$hits" ]] || fail "$(sed "s/\$/: $what outside platform\//" <<<"$hits")"
}
report "OS header" "$include_re"
report "OS conditional" "$cond_re"

if [[ -d platform ]]; then
    # Every source of platform/ belongs to a service folder.
    while IFS= read -r file; do
        fail "$file: platform source outside a service folder (text, console, resolver, system, host)"
    done < <(find platform -maxdepth 1 -type f | grep -E "$source_re" | sort)

    # A .cpp without a platform suffix is built everywhere: no OS header, no OS conditional.
    while IFS= read -r file; do
        hits=$( (grep -nE "$include_re" "$file" | sed 's/$/: OS header/';
                 grep -nE "$cond_re" "$file" | sed 's/$/: OS conditional/') || true)
        [[ -z "$hits" ]] || fail "$(sed "s|^|$file:|; s/\$/ in a file built on every platform (name it ...Posix.cpp or ...Win.cpp)/" <<<"$hits")"
    done < <(find platform -type f -name '*.cpp' ! -name '*Posix.cpp' ! -name '*Win.cpp' | sort)
fi

# Internal headers of a service: included only by the service's own folder and its tests.
while IFS= read -r hit; do
    file=${hit%%:*}
    header=$(sed -E 's/.*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$hit")
    service=$(cut -d/ -f2 <<<"$header")
    case "$file" in
    platform/"$service"/* | tests/platform/"$service"/* | tests/fuzz/*) ;;
    *) fail "$hit: internal header of platform/$service/ included outside it and its tests" ;;
    esac
done < <(grep_sources '^[[:space:]]*#[[:space:]]*include[[:space:]]*"platform/[^/"]+/[^"]*(Posix|Win)\.h"' \
    dns host platform sdk tests)

# What the module links never includes the command processor's code.
module_dirs=(dns)
if [[ -d platform ]]; then
    while IFS= read -r dir; do
        [[ "$dir" == platform/host ]] || module_dirs+=("$dir")
    done < <(find platform -mindepth 1 -maxdepth 1 -type d | sort)
fi
hits=$(grep_sources '^[[:space:]]*#[[:space:]]*include[[:space:]]*"(platform/)?host/' "${module_dirs[@]}")
[[ -z "$hits" ]] || fail "$(sed 's/$/: the command processor'"'"'s code included by what Dns.so links/' <<<"$hits")"

if [[ $status -eq 0 ]]; then
    echo "check-portable: dns/ and host/ are free of OS headers and OS conditionals;" \
        "platform/ keeps its service folders, suffixes and internal headers, and nothing" \
        "Dns.so links includes host/ or platform/host/"
else
    echo "check-portable: move OS-specific code under platform/ and keep its boundaries" >&2
fi
exit "$status"

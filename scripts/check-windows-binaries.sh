#!/usr/bin/env bash
# Checks the Windows build's Dns.dll as the real host loads it: exactly the eight entry
# points exported, imports from system DLLs and Corvane.dll only, nothing that calls the linked
# winpthreads on the host's thread, and the version resource.
#
#   scripts/check-windows-binaries.sh [BUILD_DIR]     (default: build-win)
set -euo pipefail

BUILD_DIR=${1:-build-win}
DLL="$BUILD_DIR/Dns.dll"
OBJDUMP=x86_64-w64-mingw32-objdump
NM=x86_64-w64-mingw32-nm
WINDRES=x86_64-w64-mingw32-windres
[[ -f "$DLL" ]] || { echo "check-windows-binaries: $DLL is missing; build first" >&2; exit 2; }

status=0
fail() {
    echo "check-windows-binaries: $*" >&2
    status=1
}

dump=$("$OBJDUMP" -p "$DLL")

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
expected='GetPluginInfo Help InitializePlugin ShutdownPlugin Usage _clver$ dns rdns '
[[ "$exports" == "$expected" ]] || fail "exports are '$exports', expected '$expected'"

# System DLLs of every Windows since 7, and the host's service library.
allowed='^(ADVAPI32|DNSAPI|IPHLPAPI|KERNEL32|msvcrt|USER32|WS2_32|Corvane)\.(dll|DLL)$'
while read -r name; do
    [[ "$name" =~ $allowed ]] || fail "imports from $name"
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
grep -q 'DLL Name: Corvane.dll' <<<"$dump" || fail "does not import the host services from Corvane.dll"

# The statically linked winpthreads keeps a record of every thread that calls into it (an event
# and a handle of the thread); on the host's thread nothing frees it, so each load and unload
# would leave two handles behind. What calls it there: the guards of function-local statics
# and thread-local variables (emulated TLS). Neither may be in the module, apart from the C++
# runtime's own exception state, which only a thrown exception touches.
symbols=$("$NM" "$DLL")
if grep -qE ' __cxa_guard_(acquire|release)$' <<<"$symbols"; then
    fail "has guarded function-local statics (__cxa_guard_acquire): they call winpthreads"
fi
tls=$(grep -oE '__emutls_v\.[^ ]+' <<<"$symbols" | grep -v '_GLOBAL__N_110get_globalEvE6global' || true)
[[ -z "$tls" ]] || fail "has thread-local variables, which call winpthreads: $tls"

resource=$("$WINDRES" -i "$DLL" -O rc)
for line in 'FILEVERSION 1, 0, 9, 2' 'PRODUCTVERSION 1, 0, 9, 2' \
    'VALUE "FileDescription", "DNS plugin for Corvane"' 'VALUE "FileVersion", "1.0.9.2"' \
    'VALUE "InternalName", "DNS"' 'VALUE "OriginalFilename", "Dns.dll"' \
    'VALUE "ProductName", "DNS plugin"' 'VALUE "ProductVersion", "1.0.9.2  (x64)"' \
    'VALUE "CompanyName", "Corvane DNS plug-in team"'; do
    grep -qF "$line" <<<"$resource" || fail "version resource lacks: $line"
done
grep -qE 'VALUE "Build", "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"' <<<"$resource" ||
    fail "version resource lacks the build time"
grep -qE 'VALUE "Built On", ".+"' <<<"$resource" || fail "version resource lacks the build machine"

if [[ $status -eq 0 ]]; then
    echo "check-windows-binaries: Dns.dll exports the eight entry points, imports system DLLs" \
        "and Corvane.dll only, has no guarded statics or thread-local variables, and carries" \
        "its version resource"
fi
exit "$status"

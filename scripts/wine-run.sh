#!/usr/bin/env bash
# Runs a program of the Windows build under wine: the crosscompiling emulator of
# cmake/mingw-w64.cmake, so CTest and the end-to-end tests start every .exe through it.
#
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# The wine prefix is WINEPREFIX (default: /tmp/corvane-wine-UID, private to this project). A
# missing prefix is made once with "wineboot -i", under a lock, so tests that start at the same
# time wait for it instead of racing. No display is needed: the prefix is made without the
# Gecko and Mono installers and without desktop integration, and WINEDEBUG stays quiet, so
# wine adds nothing to a program's output.
set -euo pipefail

export WINEARCH=win64
export WINEPREFIX=${WINEPREFIX:-/tmp/corvane-wine-$(id -u)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
unset DISPLAY WAYLAND_DISPLAY

command -v wine >/dev/null || {
    echo "wine-run.sh: wine is missing; run scripts/install-deps.sh --windows" >&2
    exit 2
}

ready="$WINEPREFIX/.corvane-prefix-ready"
if [[ ! -f "$ready" ]]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [[ ! -f "$ready" ]]; then
            # wine refuses a prefix that another user owns; a half-made one is made again.
            rm -rf "$WINEPREFIX"
            wineboot -i >"$WINEPREFIX.log" 2>&1 || {
                cat "$WINEPREFIX.log" >&2
                exit 2
            }
            wineserver -w
            touch "$ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi

exec wine "$@"

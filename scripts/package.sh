#!/usr/bin/env bash
# Builds the Debian package of corvane and the DNS plug-in: a Release build configured for the
# prefix /usr (so the module folder is /usr/lib/<multiarch>/corvane), then cpack. Needs no
# root. The .deb lands in BUILD_DIR/packages/ and its name is printed last.
#
#   scripts/package.sh [BUILD_DIR]      (default build-package; JOBS: parallel build jobs)
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$REPO_ROOT"
BUILD_DIR=${1:-build-package}
JOBS=${JOBS:-2}

# The package needs only the programs and the man page, not the tests: cpack must not build
# everything first.
options=(-DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)
[[ -f "$BUILD_DIR/CMakeCache.txt" ]] || options+=(-DCMAKE_BUILD_TYPE=Release)
cmake -S . -B "$BUILD_DIR" "${options[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j"$JOBS" --target corvane Dns corvane_services manpage >/dev/null
rm -f "$BUILD_DIR"/packages/*.deb
if ! (cd "$BUILD_DIR" && cpack -G DEB >cpack.log 2>&1); then
    cat "$BUILD_DIR/cpack.log" >&2
    echo "package.sh: cpack failed" >&2
    exit 1
fi
debs=("$BUILD_DIR"/packages/*.deb)
dpkg-deb --info "${debs[0]}" | sed -n 's/^ \(Package\|Version\|Depends\|Installed-Size\):/  \1:/p'
echo "${debs[0]}"

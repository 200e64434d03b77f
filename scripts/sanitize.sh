#!/usr/bin/env bash
# Sanitizer run: builds everything with g++ and -DDNS_SANITIZE=ON (AddressSanitizer with
# LeakSanitizer, UndefinedBehaviorSanitizer) in build-asan, then runs the whole test suite
# through scripts/test.sh (private network namespace, loopback DNS server).
#
#   scripts/sanitize.sh [ctest arguments...]
#
# Every sanitizer report of every process, the corvane binaries that the Python tests start
# included, is written to a report file as well; the run fails if any report was written,
# even when the test that caused it passed, and the reports are printed at the end.
# ASAN_BUILD_DIR (default build-asan), JOBS (parallel build jobs).
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$REPO_ROOT"

BUILD_DIR=${ASAN_BUILD_DIR:-build-asan}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

echo "==> Configuring $BUILD_DIR (g++, DNS_SANITIZE=ON)"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDNS_SANITIZE=ON \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
echo "==> Building with $JOBS jobs"
cmake --build "$BUILD_DIR" -j"$JOBS"

REPORTS=$(mktemp -d /tmp/corvane-sanitize.XXXXXX)
# log_path: each process writes its reports to REPORTS/<tool>.<pid>; stderr stays clean for
# the tests that compare it. exitcode: a report still fails the process that made it.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1:log_path=$REPORTS/asan${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$REPORTS/ubsan${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-}"

echo "==> Tests (BUILD_DIR=$BUILD_DIR)"
status=0
BUILD_DIR="$BUILD_DIR" scripts/test.sh "$@" || status=$?

reports=("$REPORTS"/*)
if [[ -e "${reports[0]}" ]]; then
    echo
    echo "==> Sanitizer reports (${#reports[@]})" >&2
    for report in "${reports[@]}"; do
        echo "--- $report" >&2
        cat "$report" >&2
    done
    echo "sanitize.sh: sanitizer reports found; kept in $REPORTS" >&2
    exit 1
fi
rm -rf "$REPORTS"
if [[ $status -ne 0 ]]; then
    echo "sanitize.sh: tests failed (exit $status) without sanitizer reports" >&2
    exit "$status"
fi
echo "sanitize.sh: all tests passed, no sanitizer reports"

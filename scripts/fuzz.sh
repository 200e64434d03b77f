#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz, -DDNS_FUZZ=ON) and runs each one for a
# while over a scratch copy of its committed corpus, so new inputs never land in the
# repository. Prints the executions per target and fails on any crash, leak, sanitizer report
# or time-out; the offending input is kept and shown as hex.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET]     (default 60)
#
# FUZZ_BUILD_DIR (default build-fuzz), FUZZ_TARGETS (default: all three), FUZZ_JOBS (parallel
# build jobs), FUZZ_KEEP=1 keeps the scratch directory with the grown corpora.
set -euo pipefail

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$REPO_ROOT"

SECONDS_PER_TARGET=${1:-60}
[[ "$SECONDS_PER_TARGET" =~ ^[0-9]+$ && "$SECONDS_PER_TARGET" -gt 0 ]] ||
    { echo "fuzz.sh: seconds per target must be a positive number" >&2; exit 2; }
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
read -r -a TARGETS <<<"${FUZZ_TARGETS:-fuzz_answer fuzz_split fuzz_command}"

for tool in clang clang++ cmake; do
    command -v "$tool" >/dev/null || { echo "fuzz.sh: $tool is missing; run scripts/install-deps.sh" >&2; exit 2; }
done

# Longest input per target: answers as large as a TCP message gets in practice; command lines
# past the 8192-character argument buffer.
max_len() {
    case $1 in
        fuzz_answer) echo 8192 ;;
        *) echo 20000 ;;
    esac
}

echo "==> Configuring $BUILD_DIR (clang, DNS_FUZZ=ON)"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDNS_FUZZ=ON \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
echo "==> Building ${TARGETS[*]}"
cmake --build "$BUILD_DIR" -j"$JOBS" --target "${TARGETS[@]}"

WORK=$(mktemp -d /tmp/corvane-fuzz.XXXXXX)
failed=()
declare -A runs

for target in "${TARGETS[@]}"; do
    dir="$WORK/$target"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    cp -r tests/fuzz/corpus/"$target"/. "$dir/corpus/"
    echo "==> $target: ${SECONDS_PER_TARGET}s"
    status=0
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
        "$BUILD_DIR/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len="$(max_len "$target")" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1 || status=$?
    done_line=$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$dir/log" | tail -n 1 || true)
    count=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$dir/log" | grep -Eo '[0-9]+$' | tail -n 1 || true)
    runs[$target]=${count:-?}
    coverage=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*' "$dir/log" | tail -n 1 || true)
    echo "    ${done_line:-no completion line}; $coverage"
    artifacts=("$dir"/artifacts/*)
    if [[ $status -ne 0 || -e "${artifacts[0]}" ]]; then
        failed+=("$target")
        echo "!!! $target failed (exit $status); log: $dir/log" >&2
        grep -E -A40 '^==[0-9]+==ERROR|runtime error|broken invariant|ERROR: libFuzzer' "$dir/log" | head -n 80 >&2 || tail -n 40 "$dir/log" >&2
        for artifact in "${artifacts[@]}"; do
            [[ -e "$artifact" ]] || continue
            echo "--- input $artifact:" >&2
            od -An -tx1 -v "$artifact" | head -n 40 >&2
        done
    fi
done

echo
echo "==> Executions per target (${SECONDS_PER_TARGET}s each)"
for target in "${TARGETS[@]}"; do
    printf '    %-14s %s\n' "$target" "${runs[$target]}"
done

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzz.sh: FAILED: ${failed[*]}; inputs and logs kept in $WORK" >&2
    exit 1
fi
if [[ "${FUZZ_KEEP:-0}" == 1 ]]; then
    echo "fuzz.sh: grown corpora kept in $WORK"
else
    rm -rf "$WORK"
fi
echo "fuzz.sh: no crashes"

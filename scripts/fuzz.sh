#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with Clang, coverage and ASan+UBSan into build-fuzz/
# (or $BREVANT_FUZZ_BUILD_DIR) and runs each for the given time, two at a time ($BREVANT_FUZZ_JOBS).
#   bash scripts/fuzz.sh [seconds-per-target] [target...]     default: 300 s, every target
# New inputs are kept in build-fuzz/fuzz-work/<target>/corpus (the committed seeds in
# tests/fuzz/corpus/<target> are read, never written), crashes in .../crashes. Exits non-zero
# when any target crashed. Replay a crash: build-fuzz/bin/fuzz_<target> <crash file>
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BREVANT_FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${BREVANT_FUZZ_JOBS:-2}
seconds=300
if (($#)) && [[ $1 =~ ^[0-9]+$ ]]; then
    seconds=$1
    shift
fi
targets=("$@")
if ((${#targets[@]} == 0)); then
    for file in "$root"/tests/fuzz/fuzz_*.cpp; do
        name=$(basename "$file" .cpp)
        targets+=("${name#fuzz_}")
    done
fi

bash "$root/scripts/deps-tools.sh"

# Coverage instrumentation and sanitizers in every library the targets link, not only in the
# targets. Warnings are not errors here: Clang warns where the project's GCC build does not.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVANT_FUZZ=ON \
    -DBREVANT_WERROR=OFF -DBREVANT_BUILD_BENCHMARKS=OFF -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export QT_QPA_PLATFORM=offscreen

run_target() {
    local target=$1 work="$build/fuzz-work/$1"
    mkdir -p "$work/corpus" "$work/crashes"
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/crashes/" \
        "$work/corpus" "$root/tests/fuzz/corpus/$target" >"$work/log" 2>&1
}

echo "Fuzzing ${#targets[@]} targets for ${seconds} s each, ${jobs} at a time; logs in $build/fuzz-work/<target>/log"
running=0
for target in "${targets[@]}"; do
    if ((running >= jobs)); then
        wait -n || true
        ((running--))
    fi
    run_target "$target" &
    ((++running))
done
wait || true

failed=0
printf '%-14s %12s %8s %8s  %s\n' target runs exec/s corpus result
for target in "${targets[@]}"; do
    work="$build/fuzz-work/$target"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -1)
    corpus=$(find "$work/corpus" "$root/tests/fuzz/corpus/$target" -type f | wc -l)
    crashes=$(find "$work/crashes" -type f | wc -l)
    if ((crashes > 0)) || ! grep -q '^Done [0-9]* runs' "$work/log"; then
        result="FAILED: $crashes crash file(s) in $work/crashes, see $work/log"
        failed=1
    else
        result=clean
    fi
    printf '%-14s %12s %8s %8s  %s\n' "$target" "${runs:-?}" "${speed:-?}" "$corpus" "$result"
done
exit $failed

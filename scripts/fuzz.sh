#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang, ASan and UBSan and
# runs each one after the other on a fresh copy of its seed corpus.
# Usage: bash scripts/fuzz.sh [seconds-per-harness (60)] [build-dir (build-fuzz)] [harness...]
# Exits non-zero when any harness crashes, leaks, hangs or runs out of memory;
# the input that did it is named and kept in <build-dir>/fuzz-run/<harness>/.
set -Eeuo pipefail
source "$(dirname "$0")/common.sh"

seconds=${1:-60}
build=${2:-$ROOT/build-fuzz}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || fail "seconds per harness must be a whole number above 0, not '$seconds'"
[[ $build == /* ]] || build=$PWD/$build

# The largest input libFuzzer makes: a reply is short, files may be longer.
declare -A max_len=([fuzz_replies]=4096 [fuzz_pollfile]=65536 [fuzz_settingsfile]=65536)

harnesses=("${@:3}")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(fuzz_replies fuzz_pollfile fuzz_settingsfile)
for name in "${harnesses[@]}"; do
    [ -n "${max_len[$name]:-}" ] || fail "no harness named $name (there are: ${!max_len[*]})"
done

install_missing "${FUZZ_PACKAGES[@]}"

# CMake drops every option when the compiler of a configured folder changes.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' "$build/CMakeCache.txt"; then
    fail "$build was configured with another compiler; name another folder or remove it"
fi
echo "== fuzz: building in $build"
cmake -S "$ROOT" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DPOLLWRIGHT_FUZZ=ON -DPOLLWRIGHT_TESTS=OFF -DPOLLWRIGHT_WERROR=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target fuzzers

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Saves go through QSaveFile, which syncs every file to disk: on a tmpfs the
# harnesses run several times faster.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi

found=()
for name in "${harnesses[@]}"; do
    run=$build/fuzz-run/$name
    rm -rf "$run"
    mkdir -p "$run/corpus"
    cp "$ROOT/tests/fuzz/corpus/$name/"* "$run/corpus/"
    echo "== fuzz: $name for ${seconds}s (log: $run/log)"
    dict=()
    [ ! -f "$ROOT/tests/fuzz/$name.dict" ] || dict=(-dict="$ROOT/tests/fuzz/$name.dict")
    status=0
    "$build/tests/fuzz/$name" -max_total_time="$seconds" -max_len="${max_len[$name]}" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$run/" "${dict[@]}" "$run/corpus" \
        >"$run/log" 2>&1 || status=$?

    # The last status line, "#<runs> DONE cov: .. ft: .. corp: <files>/<size> ..".
    stats=$(grep -E '^#[0-9]+[[:space:]]' "$run/log" | tail -n 1 || true)
    runs=$(sed -n 's/^stat::number_of_executed_units: //p' "$run/log" || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$stats")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$stats")
    corp=$(sed -n 's/.* corp: \([^ ]*\).*/\1/p' <<<"$stats")
    echo "$name: runs ${runs:-?}, cov ${cov:-?}, ft ${ft:-?}, corpus ${corp:-?}"
    echo "$name: final stats: ${stats:-none}"

    artifacts=$(find "$run" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
        -o -name 'oom-*' \) | sort)
    if [ "$status" -ne 0 ] || [ -n "$artifacts" ]; then
        tail -n 60 "$run/log"
        echo "$name: FAILED (exit $status): ${artifacts:-no input kept}"
        found+=("$name")
    fi
done

[ ${#found[@]} -eq 0 ] || fail "fuzzing found faults in: ${found[*]} (inputs and logs under ${build#"$ROOT"/}/fuzz-run)"
echo "Fuzzing found nothing in ${seconds}s per harness."

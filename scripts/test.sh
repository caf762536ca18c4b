#!/usr/bin/env bash
# Installs what is missing, builds from scratch with warnings as errors and
# runs the whole test suite headless, then again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then two minutes of random user input on the
# sanitizer build (the GUI monkey), then each fuzzing harness for a short
# while, and last a two-minute soak of the real window against a misbehaving
# slave under Xvfb.
set -Eeuo pipefail
source "$(dirname "$0")/common.sh"

install_missing "${TEST_PACKAGES[@]}"

export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(private_runtime_dir)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

# Builds into a fresh folder with the given options and runs every test there.
build_and_test() {
    local build=$1 label=$2
    shift 2
    echo "== $label: building in ${build#"$ROOT"/}"
    rm -rf "$build"
    cmake -S "$ROOT" -B "$build" -DPOLLWRIGHT_WERROR=ON "$@" >/dev/null
    cmake --build "$build" --parallel "$(nproc)"
    echo "== $label: running the tests"
    if ! (cd "$build" && ctest --no-tests=error --output-on-failure); then
        fail "$label: some tests failed (see above); rerun one with: cd ${build#"$ROOT"/} && ctest -R <name> -V"
    fi
}

build_and_test "$ROOT/build-tests" "tests"
build_and_test "$ROOT/build-sanitize" "tests under AddressSanitizer and UBSan" -DPOLLWRIGHT_SANITIZE=ON
# A fixed seed, so that a failure replays with the command the monkey prints.
echo "== monkey: 2 minutes of random input on the real windows (sanitizer build, seed 1)"
bash "$ROOT/tests/monkey/monkey.sh" "$ROOT/build-sanitize" 120 1 \
    || fail "the GUI monkey found a fault (report above); replay: bash tests/monkey/monkey.sh build-sanitize 120 1"
# Enough to catch a harness that no longer builds or a fault its seed corpus
# and the first mutations reach; long runs: bash scripts/fuzz.sh 600.
rm -rf "$ROOT/build-fuzz-ci"
bash "$ROOT/scripts/fuzz.sh" 20 "$ROOT/build-fuzz-ci" \
    || fail "fuzzing found a fault (see above); the input is kept under build-fuzz-ci/fuzz-run"
echo "== soak: 90 s over TCP, 30 s over RTU"
bash "$ROOT/bench/soak.sh" "$ROOT/build-tests" 90 30 || fail "the soak found counters or report records that do not add up"
echo "All tests passed, plain and under the sanitizers; the monkey and fuzzing found nothing and the soak held."

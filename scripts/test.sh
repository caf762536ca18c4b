#!/usr/bin/env bash
# Installs what is missing, builds from scratch with warnings as errors and
# runs the whole test suite headless.
set -Eeuo pipefail
source "$(dirname "$0")/common.sh"

install_missing "${TEST_PACKAGES[@]}"

build="$ROOT/build-tests"
rm -rf "$build"
cmake -S "$ROOT" -B "$build" -DPOLLWRIGHT_WERROR=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(private_runtime_dir)
export XDG_RUNTIME_DIR
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT

cd "$build"
if ! ctest --no-tests=error --output-on-failure; then
    fail "some tests failed (see above); rerun one with: cd build-tests && ctest -R <name> -V"
fi
echo "All tests passed."

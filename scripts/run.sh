#!/usr/bin/env bash
# Installs what is missing, builds Pollwright and starts it.
# Arguments are handed to the program.
set -Eeuo pipefail
source "$(dirname "$0")/common.sh"

install_missing "${BUILD_PACKAGES[@]}"

cmake -S "$ROOT" -B "$ROOT/build" >/dev/null
cmake --build "$ROOT/build" --parallel "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    fail "Pollwright is built (build/app/pollwright), but no display is available to show it.
Run this from a desktop session, or on a virtual display: apt-get install xvfb, then
    xvfb-run -a bash scripts/run.sh"
fi
if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; then
    fail "the display '$DISPLAY' does not answer; check DISPLAY (and xhost/XAUTHORITY when it is another user's)"
fi

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(private_runtime_dir)
    export XDG_RUNTIME_DIR
fi

echo "Starting Pollwright"
# The sequence editor loads its bin picture from the working directory.
cd "$ROOT/build/app"
exec ./pollwright "$@"

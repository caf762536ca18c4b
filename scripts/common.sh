# Shared by the run and test scripts: package installation and error reporting.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building needs, and what the tests need on top of it.
# libmodbus builds the test slave in tools/, which the normal build includes;
# the tests also need socat (pty pairs), the pymodbus slave's packages,
# desktop-file-validate for the installed desktop entry, Xvfb for the soak,
# the GUI monkey and the window scaling test, xdotool, with which the
# monkey clicks and types, and bubblewrap, its sandbox. The package test builds the Debian package
# (dpkg-dev's dpkg-shlibdeps finds its dependencies) and checks it with lintian
# and appstreamcli (appstream).
# Fuzzing needs clang, its libFuzzer and sanitizer runtimes (only recommended
# by clang, so named here) and llvm-symbolizer for readable stack traces.
# The windows' fixed label boxes are sized for DejaVu Sans Condensed, which a
# fresh Debian lacks (only fonts-dejavu-core comes with Qt): without it some
# labels are cut off.
BUILD_PACKAGES=(cmake make g++ qtbase5-dev libqt5serialport5-dev libmodbus-dev libxcb1-dev pkg-config fonts-dejavu-extra)
FUZZ_PACKAGES=("${BUILD_PACKAGES[@]}" clang libclang-rt-14-dev llvm)
TEST_PACKAGES=("${FUZZ_PACKAGES[@]}" socat python3-pymodbus python3-serial-asyncio desktop-file-utils
    xvfb x11-utils xdotool python3-xlib bubblewrap dpkg-dev lintian appstream)

fail() {
    printf '\n%s: %s\n' "$(basename "$0")" "$*" >&2
    exit 1
}

# Any command that fails ends the script with the command named.
on_error() {
    local status=$? command=$BASH_COMMAND
    printf '\n%s: failed (exit %s) running: %s\n' "$(basename "$0")" "$status" "$command" >&2
    exit "$status"
}
trap on_error ERR

# Installs whichever of the given Debian packages are missing; does nothing
# when all are there, so it is safe to run every time.
install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || fail "packages missing (${missing[*]}); run as root or install them first"
        sudo=(sudo)
    fi
    command -v apt-get >/dev/null || fail "apt-get not found: this script expects Debian 12; install ${missing[*]} by hand"
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq || fail "apt-get update failed: check the network or the apt sources"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
        || fail "could not install ${missing[*]} with apt-get"
}

# A private runtime folder keeps Qt quiet and away from the user's session.
private_runtime_dir() {
    local dir
    dir=$(mktemp -d)
    chmod 700 "$dir"
    echo "$dir"
}

#!/usr/bin/env bash
# Installs the build into temporary prefixes and checks what lands there:
# the program, the icon in the folder of its real size, the bin picture, and
# a desktop entry whose Exec= and Path= name the installed program and the
# folder holding the picture, for a prefix given at install time (plain, with
# a space, relative) and for the prefix configured into the build (under
# DESTDIR).
# Usage: check-install.sh BUILD_DIR SOURCE_DIR CONFIGURED_PREFIX
set -uo pipefail

build=$1 source=$2 configured=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

fail() {
    echo "FAIL ($case): $*"
    failures=$((failures + 1))
}

# Width x height from a PNG header.
png_size() {
    local bytes
    bytes=$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')
    read -r w1 w2 w3 w4 h1 h2 h3 h4 <<<"$bytes"
    echo "$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))x$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))"
}

# The value of a key in the entry (first match).
entry() {
    sed -n "s/^$1=//p" "$desktop" | head -n1
}

# check CASE ROOT PREFIX EXPECTED_EXEC: ROOT is where PREFIX's files really
# are (DESTDIR + PREFIX).
check() {
    case=$1
    local root=$2 prefix=$3 expected_exec=$4
    local size icon
    size=$(png_size "$source/resources/appicon.png")

    [[ -x $root/bin/pollwright ]] || fail "bin/pollwright missing or not executable"
    icon=$root/share/icons/hicolor/$size/apps/pollwright.png
    # The theme folder must name the icon's real size.
    cmp -s "$icon" "$source/resources/appicon.png" || fail "icon not at share/icons/hicolor/$size/apps/pollwright.png"
    cmp -s "$root/share/pollwright/bin.png" "$source/resources/bin.png" || fail "share/pollwright/bin.png missing"

    desktop=$root/share/applications/pollwright.desktop
    [[ -f $desktop ]] || { fail "share/applications/pollwright.desktop missing"; return; }
    [[ $(entry Exec) == "$expected_exec" ]] || fail "Exec=$(entry Exec), expected $expected_exec"
    [[ $(entry Path) == "$prefix/share/pollwright" ]] || fail "Path=$(entry Path), expected $prefix/share/pollwright"
    [[ $(entry Icon) == pollwright ]] || fail "Icon=$(entry Icon), expected pollwright"
    [[ $(entry Type) == Application ]] || fail "Type=$(entry Type)"
    # Started from Path=, the program finds its picture there.
    local path
    path=$(entry Path)
    [[ -f $root${path#"$prefix"}/bin.png ]] || fail "no bin.png in the folder Path= names"
    # Listed as installed (without DESTDIR), so whatever removes the install removes it too.
    grep -qxF "$prefix/share/applications/pollwright.desktop" "$build/install_manifest.txt" \
        || fail "the desktop entry is not in install_manifest.txt"
    if command -v desktop-file-validate >/dev/null; then
        local report
        report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
        [[ -z $report ]] || fail "desktop-file-validate: $report"
    fi
}

install_to() {
    cmake --install "$build" "$@" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "cmake --install $*"; }
}

case="--prefix"
install_to --prefix "$tmp/plain"
check "$case" "$tmp/plain" "$tmp/plain" "$tmp/plain/bin/pollwright"

case="--prefix with a space"
install_to --prefix "$tmp/with space"
check "$case" "$tmp/with space" "$tmp/with space" "\"$tmp/with space/bin/pollwright\""

case="relative --prefix"
pushd "$tmp" >/dev/null || exit 1
install_to --prefix relative
popd >/dev/null || exit 1
check "$case" "$tmp/relative" "$tmp/relative" "$tmp/relative/bin/pollwright"

case="configured prefix under DESTDIR"
DESTDIR=$tmp/stage install_to
check "$case" "$tmp/stage$configured" "$configured" "$configured/bin/pollwright"

# The installed program starts, from the folder Path= names, with its own HOME.
case="start"
mkdir -p "$tmp/home" && chmod 700 "$tmp/home"
(cd "$tmp/plain/share/pollwright" && HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/home QT_QPA_PLATFORM=offscreen \
    timeout 3 "$tmp/plain/bin/pollwright" >"$tmp/start.log" 2>&1)
status=$?
[[ $status -eq 124 ]] || { cat "$tmp/start.log"; fail "the installed program ended with status $status within 3 s"; }

[[ $failures -eq 0 ]] && echo "all install checks passed"
exit $((failures > 0))

#!/usr/bin/env bash
# Builds the Debian package with cpack, as `cmake --build BUILD --target
# package` does, and checks it: its name, every file and folder with its
# mode and owner (package-files.txt), its control fields (package-control.txt),
# stripped binaries, the desktop entry, metainfo and man pages it carries,
# and, where the tools are installed, desktop-file-validate, appstreamcli and
# lintian (no errors). Exits 77 (skipped) where dpkg-deb is missing.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR PROJECT_VERSION CPACK
set -uo pipefail

build=$1 source=$2 version=$3 cpack=$4
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! command -v dpkg-deb >/dev/null; then
    echo "SKIP: dpkg-deb not found, so no Debian package can be built or read here (apt-get install dpkg)"
    exit 77
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
arch=$(dpkg --print-architecture)

if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log"
    fail "cpack did not build the package"
    exit 1
fi
deb=$tmp/out/pollwright_${version}_${arch}.deb
if [[ ! -f $deb ]]; then
    ls "$tmp/out"
    fail "no pollwright_${version}_${arch}.deb"
    exit 1
fi

# Width x height from a PNG header.
png_size() {
    local w1 w2 w3 w4 h1 h2 h3 h4
    read -r w1 w2 w3 w4 h1 h2 h3 h4 <<<"$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')"
    echo "$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))x$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))"
}

# The files and folders, as "mode owner path".
dpkg-deb -c "$deb" | awk '{ p = $6; sub(/^\.\//, "", p); print $1, $2, p }' >"$tmp/listing"
awk '$1 !~ /^d/ { print $1, $3 }' "$tmp/listing" | sort >"$tmp/files"
sed -e '/^#/d' -e '/^$/d' -e "s/@ICON_SIZE@/$(png_size "$source/resources/appicon.png")/" \
    "$here/package-files.txt" | sort >"$tmp/expected"
if ! diff -u "$tmp/expected" "$tmp/files" >"$tmp/diff"; then
    cat "$tmp/diff"
    fail "the package's files differ from package-files.txt (- expected, + in the package)"
fi
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" { print "FAIL: folder " $3 " is " $1 }' "$tmp/listing" | grep . \
    && fail "folders that are not 0755"
awk '$2 != "root/root" { print "FAIL: " $3 " belongs to " $2 }' "$tmp/listing" | grep . \
    && fail "entries not owned by root"

# The control fields, rule by rule.
dpkg-deb -f "$deb" >"$tmp/control"
field() {
    # First line of a field, without its name.
    sed -n "s/^$1: //p" "$tmp/control" | head -n1
}
field Depends | tr ',|' '\n' | sed -e 's/^ *//' -e 's/[ (].*//' | sort -u >"$tmp/depends"
while read -r name rule value; do
    [[ -z $name || $name == \#* ]] && continue
    value=${value//@VERSION@/$version}
    value=${value//@ARCH@/$arch}
    actual=$(field "$name")
    case $rule in
    =) [[ $actual == "$value" ]] || fail "$name: '$actual', expected '$value'" ;;
    '~') [[ $actual =~ $value ]] || fail "$name: '$actual' does not match $value" ;;
    has) grep -qxF "$value" "$tmp/depends" || fail "Depends lacks $value: $(field Depends)" ;;
    lacks) grep -qxF "$value" "$tmp/depends" && fail "Depends names $value: $(field Depends)" ;;
    *) fail "unknown rule '$rule' in package-control.txt" ;;
    esac
done <"$here/package-control.txt"

root=$tmp/root
dpkg-deb -x "$deb" "$root"

# Debian ships binaries without debug information or symbol tables.
for binary in "$root"/usr/bin/*; do
    sections=$(readelf -S -W "$binary" 2>&1)
    grep -qE '\.debug_info|\.symtab' <<<"$sections" && fail "${binary#"$root"/} is not stripped"
done
# The packaged programs are this build's.
run_version=$("$root/usr/bin/pollwright-run" --version 2>&1)
[[ $run_version == *"$version"* ]] || fail "pollwright-run --version says '$run_version', expected $version"

# The desktop entry starts the installed program where its picture is.
desktop=$root/usr/share/applications/pollwright.desktop
grep -qxF 'Exec=/usr/bin/pollwright' "$desktop" || fail "Exec= is not /usr/bin/pollwright: $(grep ^Exec= "$desktop")"
grep -qxF 'Path=/usr/share/pollwright' "$desktop" || fail "Path= is not /usr/share/pollwright: $(grep ^Path= "$desktop")"
cmp -s "$root/usr/share/pollwright/bin.png" "$source/resources/bin.png" || fail "usr/share/pollwright/bin.png is not resources/bin.png"
if command -v desktop-file-validate >/dev/null; then
    report=$(desktop-file-validate "$desktop" 2>&1)
    [[ -z $report ]] || fail "desktop-file-validate: $report"
fi

# The metainfo: its id is its file name, it names the packaged desktop
# entry, and every screenshot has a caption.
for metainfo in "$root"/usr/share/metainfo/*.metainfo.xml; do
    id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
    [[ $(basename "$metainfo") == "$id.metainfo.xml" ]] || fail "metainfo id '$id' is not its file name"
    launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
    [[ -f $root/usr/share/applications/$launchable ]] || fail "the metainfo launches '$launchable', not in the package"
    shots=$(grep -c '<screenshot[ >]' "$metainfo")
    captions=$(grep -c '<caption>.*[^ ].*</caption>' "$metainfo")
    [[ $shots -gt 0 && $shots -eq $captions ]] || fail "$shots screenshots, $captions captions"
    if command -v appstreamcli >/dev/null; then
        report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
    fi
done

# A man page for each program, compressed as Debian wants: gzip header with
# no file name (flag 0x08), no time stamp and the best-compression mark (2).
for binary in "$root"/usr/bin/*; do
    page=$root/usr/share/man/man1/$(basename "$binary").1.gz
    [[ -f $page ]] || { fail "no man page for ${binary#"$root"/}"; continue; }
    read -r _ _ _ flags t1 t2 t3 t4 xfl _ <<<"$(od -An -tu1 -N10 "$page" | tr -s ' \n' ' ')"
    ((flags & 8)) && fail "${page#"$root"/} keeps the file name"
    ((t1 + t2 + t3 + t4)) && fail "${page#"$root"/} keeps a time stamp"
    ((xfl == 2)) || fail "${page#"$root"/} is not compressed with -9"
    if command -v man >/dev/null; then
        report=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
        [[ -z $report ]] || fail "man warns on ${page#"$root"/}: $report"
    fi
done
[[ $(zcat "$root/usr/share/doc/pollwright/changelog.gz" | head -n1) == "pollwright ($version) "* ]] \
    || fail "the changelog does not start with this version"

if command -v lintian >/dev/null; then
    lintian "$deb" >"$tmp/lintian" 2>&1
    grep '^E:' "$tmp/lintian" && fail "lintian reports errors"
    grep '^W:' "$tmp/lintian"
fi

[[ $failures -eq 0 ]] && echo "all package checks passed: $(basename "$deb")"
exit $((failures > 0))

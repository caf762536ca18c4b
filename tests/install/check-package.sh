#!/usr/bin/env bash
# Builds the Debian package with cpack, as `cmake --build BUILD --target
# package` does, and checks it: its name, every file and folder with its
# mode and owner (package-files.txt), its control fields (package-control.txt),
# lines its files must hold (package-lines.txt), the metainfo's screenshot
# captions, and desktop-file-validate, appstreamcli and lintian (no errors, no
# warnings: it also checks that the binaries are stripped and the man pages
# compressed with gzip -9n and free of groff warnings). Exits 77 (skipped)
# where dpkg-deb or lintian is missing.
# Usage: check-package.sh BUILD_DIR SOURCE_DIR PROJECT_VERSION CPACK
set -uo pipefail

build=$1 source=$2 version=$3 cpack=$4
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
for tool in dpkg-deb lintian desktop-file-validate appstreamcli; do
    command -v $tool >/dev/null \
        || { echo "SKIP: $tool not found (apt-get install dpkg lintian desktop-file-utils appstream)"; exit 77; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
arch=$(dpkg --print-architecture)
deb=$tmp/out/pollwright_${version}_${arch}.deb
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || [[ ! -f $deb ]]; then
    cat "$tmp/cpack.log"
    ls "$tmp/out"
    fail "cpack did not build $(basename "$deb")"
    exit 1
fi
# A data file with this build's version and architecture, and the icon's size from its PNG header.
icon=$(od -An -tu4 --endian=big -j16 -N8 "$source/resources/appicon.png" | awk '{ print $1 "x" $2 }')
data() {
    sed -e '/^#/d' -e '/^$/d' -e "s/@VERSION@/$version/g; s/@ARCH@/$arch/g; s/@ICON_SIZE@/$icon/g" "$here/$1"
}

# The files and folders, as "mode owner path"; folders are all 0755, and root owns everything.
dpkg-deb -c "$deb" | awk '{ p = $6; sub(/^\.\//, "", p); print $1, $2, p }' >"$tmp/listing"
awk '$1 !~ /^d/ { print $1, $3 }' "$tmp/listing" | sort | diff -u <(data package-files.txt | sort) - \
    || fail "the package's files differ from package-files.txt (- expected, + in the package)"
awk '$1 ~ /^d/ && $1 != "drwxr-xr-x" || $2 != "root/root"' "$tmp/listing" | grep . \
    && fail "folders that are not 0755 or entries not owned by root/root"

depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed -e 's/^ *//' -e 's/[ (].*//')
while read -r name rule value; do
    actual=$(dpkg-deb -f "$deb" "$name" | head -n1)
    case $rule in
    =) [[ $actual == "$value" ]] || fail "$name: '$actual', expected '$value'" ;;
    '~') [[ $actual =~ $value ]] || fail "$name: '$actual' does not match $value" ;;
    has) grep -qxF "$value" <<<"$depends" || fail "Depends lacks $value: $actual" ;;
    lacks) grep -qxF "$value" <<<"$depends" && fail "Depends names $value: $actual" ;;
    *) fail "unknown rule '$rule' in package-control.txt" ;;
    esac
done < <(data package-control.txt)

root=$tmp/root
dpkg-deb -x "$deb" "$root"
while IFS=$'\t' read -r file pattern; do
    zgrep -qE -- "$pattern" "$root/$file" || fail "$file has no line matching $pattern"
done < <(data package-lines.txt)
cmp -s "$root/usr/share/pollwright/bin.png" "$source/resources/bin.png" || fail "the packaged bin.png is not resources/bin.png"
run_version=$("$root/usr/bin/pollwright-run" --version 2>&1)
[[ $run_version == *"$version"* ]] || fail "pollwright-run --version says '$run_version', expected $version"
metainfo=$root/usr/share/metainfo/com.quarvel.pollwright.metainfo.xml
shots=$(grep -c '<screenshot[ >]' "$metainfo")
captions=$(grep -c '<caption>.*[^ ].*</caption>' "$metainfo")
[[ $shots -gt 0 && $shots -eq $captions ]] || fail "the metainfo has $shots screenshots, $captions captions"
report=$(desktop-file-validate "$root/usr/share/applications/pollwright.desktop" 2>&1)
[[ -z $report ]] || fail "desktop-file-validate: $report"
report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $report"
lintian "$deb" >"$tmp/lintian" 2>&1
grep -E '^(E|W):' "$tmp/lintian" && fail "lintian reports errors or warnings"

[[ $failures -eq 0 ]] && echo "all package checks passed: $(basename "$deb")"
exit $((failures > 0))

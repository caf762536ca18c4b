#!/usr/bin/env bash
# Starts the program on a private Xvfb whose desktop asks for each scale of
# the table below (through Xft.dpi, as desktops set it) and checks that the
# main window and the connection dialog come out that many times their size
# at scale 1: the fixed layouts must grow with the desktop, not stay small
# while the fonts grow. Exits 77 (skipped) where Xvfb, xdotool, xprop or
# xwininfo is missing.
# Usage: check-scaling.sh PROGRAM
set -uo pipefail

program=$(realpath "$1")
for tool in Xvfb xdotool xprop xwininfo; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not found (apt-get install xvfb xdotool x11-utils)"; exit 77; }
done

tmp=$(mktemp -d)
xvfb_pid='' app_pid=''
stop() {
    [[ -n $app_pid ]] && { kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; }
    [[ -n $xvfb_pid ]] && { kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; }
    app_pid='' xvfb_pid=''
}
trap 'stop; rm -rf "$tmp"' EXIT
failures=0

# size DPI TITLE...: sets $sizes to "WIDTHxHEIGHT" of each window, with
# Xft.dpi at DPI ("?" for a window that did not show).
size() {
    local dpi=$1 title id
    shift
    stop
    rm -f "$tmp/display"
    # -noreset: the resource set below outlives xprop's connection.
    Xvfb -displayfd 4 -screen 0 2560x2048x24 -nolisten tcp -noreset 4>"$tmp/display" 2>"$tmp/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 200); do [[ -s $tmp/display ]] && break; sleep 0.05; done
    DISPLAY=":$(head -n1 "$tmp/display")"
    export DISPLAY
    xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t%s\n' "$dpi")"
    mkdir -p "$tmp/home" "$tmp/run" && chmod 700 "$tmp/run"
    (cd "$tmp" && HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run QT_QPA_PLATFORM=xcb exec "$program") >"$tmp/app.log" 2>&1 &
    app_pid=$!
    sizes=()
    for title in "$@"; do
        id=$(timeout 20 xdotool search --sync --onlyvisible --name "$title" 2>/dev/null | head -n1)
        if [[ -z $id ]]; then
            echo "no window '$title' at Xft.dpi $dpi; the program said:"
            cat "$tmp/app.log"
            sizes+=("?")
            continue
        fi
        sizes+=("$(xwininfo -id "$id" | awk '/^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 } END { print w "x" h }')")
    done
    stop
}

titles=('^Quarvel - Pollwright v1\.9$' '^Comms$')
size 96 "${titles[@]}"
base=("${sizes[@]}")
echo "Xft.dpi 96: main window ${base[0]}, connection dialog ${base[1]}"
[[ ${base[0]} =~ ^[0-9]+x[0-9]+$ && ${base[1]} =~ ^[0-9]+x[0-9]+$ ]] || { echo "FAIL: the windows did not show at Xft.dpi 96"; exit 1; }

# Xft.dpi, and the factor the windows must grow by (Qt rounds 144 up to 2).
while read -r dpi factor; do
    size "$dpi" "${titles[@]}"
    scaled=("${sizes[@]}")
    echo "Xft.dpi $dpi: main window ${scaled[0]}, connection dialog ${scaled[1]}"
    for i in 0 1; do
        w=${base[i]%x*} h=${base[i]#*x}
        expected=$((w * factor))x$((h * factor))
        [[ ${scaled[i]} == "$expected" ]] \
            || { echo "FAIL: ${titles[i]} at Xft.dpi $dpi is ${scaled[i]}, expected $expected"; failures=$((failures + 1)); }
    done
done <<'TABLE'
192 2
144 2
TABLE

[[ $failures -eq 0 ]] && echo "the windows scale with the desktop"
exit $((failures > 0))

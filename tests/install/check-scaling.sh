#!/usr/bin/env bash
# Starts the program on a private Xvfb whose desktop asks for each scale of
# the table below (through Xft.dpi, as desktops set it) and checks that the
# main window and the connection dialog come out that many times their size
# at scale 1: the fixed layouts must grow with the desktop, not stay small
# while the fonts grow. Exits 77 (skipped) where Xvfb, xdotool or xprop is
# missing.
# Usage: check-scaling.sh PROGRAM
set -uo pipefail

program=$(realpath "$1")
for tool in Xvfb xdotool xprop; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool not found (apt-get install xvfb xdotool x11-utils)"; exit 77; }
done
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$tmp"' EXIT
mkdir "$tmp/home" "$tmp/run" && chmod 700 "$tmp/run" && mkfifo "$tmp/display"
failures=0 base=()

# Xft.dpi, and the factor the windows must grow by (Qt rounds 144 up to 2).
while read -r dpi factor; do
    # -noreset: the resource set below outlives xprop's connection.
    Xvfb -displayfd 4 -screen 0 2560x2048x24 -nolisten tcp -noreset 4>"$tmp/display" 2>/dev/null &
    read -r number <"$tmp/display" && export DISPLAY=:$number
    xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t%s\n' "$dpi")"
    (cd "$tmp" && HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run QT_QPA_PLATFORM=xcb exec "$program") >"$tmp/app.log" 2>&1 &
    sizes=()
    for title in '^Quarvel - Pollwright v1\.9$' '^Comms$'; do
        sizes+=("$(timeout 20 xdotool search --sync --onlyvisible --limit 1 --name "$title" getwindowgeometry --shell \
            2>/dev/null | awk -F= '/^WIDTH=/ { w = $2 } /^HEIGHT=/ { h = $2 } END { print w "x" h }')")
    done
    kill $(jobs -p) 2>/dev/null
    wait
    echo "Xft.dpi $dpi: main window ${sizes[0]}, connection dialog ${sizes[1]}"
    ((${#base[@]})) || base=("${sizes[@]}") # the first row's
    for i in 0 1; do
        w=${base[i]%x*} h=${base[i]#*x}
        expected=$((${w:-0} * factor))x$((${h:-0} * factor))
        [[ ${sizes[i]} == "$expected" && $expected != 0x0 ]] && continue
        echo "FAIL: window $((i + 1)) at Xft.dpi $dpi is ${sizes[i]}, expected $expected; the program said:"
        cat "$tmp/app.log"
        failures=$((failures + 1))
    done
done <<'TABLE'
96 1
192 2
144 2
TABLE

[[ $failures -eq 0 ]] && echo "the windows scale with the desktop"
exit $((failures > 0))

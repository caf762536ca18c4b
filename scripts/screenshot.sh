#!/usr/bin/env bash
# Screenshots for the docs, on a private Xvfb (no window manager, so no
# decorations) with a fresh HOME whose settings point at the test slave:
#   <out dir>/connection-dialog.png  the window at start-up, the connection dialog open
#   <out dir>/main-window.png        after Connect (TCP) and two single polls
#   <out dir>/poll-table.png         a sequence of three polls after real replies
#   <out dir>/file-browser.png       "Save Polls": the browser at the most recent poll file
#   <out dir>/logging-window.png     "Logging": the report logging window
#   <out dir>/sequence-editor.png    the sequence editor, opened by the Sequence switch
# The output folder defaults to docs/images. Takes the executables from
# $POLLWRIGHT and $POLLWRIGHT_SLAVE, else build/; builds nothing. With
# QT_SCALE_FACTOR set (QT_SCALE_FACTOR=2 shows what a desktop scaled by 2
# gets), the windows are drawn that much larger and the clicks follow.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
outdir=${1:-$repo/docs/images}
app=$(realpath -m "${POLLWRIGHT:-$repo/build/app/pollwright}")
slave=${POLLWRIGHT_SLAVE:-$repo/build/tools/pollwright-slave}
tableshot=${POLLWRIGHT_TABLESHOT:-$repo/build/tools/pollwright-tableshot}
title="Quarvel - Pollwright v1.9"
scale=${QT_SCALE_FACTOR:-1}
# A position in the windows' own layout, in screen pixels at that scale.
at() { awk -v s="$scale" -v x="$1" -v y="$2" 'BEGIN { printf "%d %d", x * s, y * s }'; }

if [[ ! -x $app || ! -x $slave || ! -x $tableshot ]]; then
    echo "error: pollwright, pollwright-slave or pollwright-tableshot not found under build/" >&2
    echo "build it first:  cd $repo && cmake -S . -B build && cmake --build build -j2" >&2
    echo "or point \$POLLWRIGHT at an existing build" >&2
    exit 1
fi
for tool in Xvfb xdotool xwininfo xdpyinfo /usr/bin/import /usr/bin/convert; do
    command -v "$tool" >/dev/null || { echo "error: $tool not found (apt-get install xvfb xdotool x11-utils imagemagick)" >&2; exit 1; }
done
mkdir -p "$outdir" || { echo "error: cannot create $outdir" >&2; exit 1; }

app_pid=
# shellcheck source=../scripts/xvfb.sh
source "$repo/scripts/xvfb.sh"
# A screen as much larger as the windows are.
XVFB_SCREEN=$(awk -v s="$scale" 'BEGIN { printf "%dx%dx24", 1280 * s, 1024 * s }')
start_scratch_display

# A slave on a free loopback port, and settings that point at it.
"$slave" --tcp 0 >"$tmp/slave.out" 2>&1 &
for _ in $(seq 100); do grep -q '^ready' "$tmp/slave.out" && break; sleep 0.05; done
port=$(sed -n 's/^ready tcp //p' "$tmp/slave.out")
[[ -n $port ]] || { echo "error: the slave did not start:" >&2; cat "$tmp/slave.out" >&2; exit 1; }
mkdir -p "$tmp/home/.quarvel" "$tmp/run"
chmod 0700 "$tmp/run"
# Two poll files, the most recent one first in the list.
mkdir -p "$tmp/home/plant/line 1"
cp "$repo/tests/data/pollfiles/full.xml" "$tmp/home/plant/line 1/pumps.xml"
cp "$repo/tests/data/pollfiles/fresh.xml" "$tmp/home/plant/line 1/boiler.xml"
cat >"$tmp/home/.quarvel/pollwright-settings.xml" <<XML
<?xml version='1.0' encoding='UTF-8'?>
<settings>
 <ethernet>127.0.0.1</ethernet>
 <connectonce>1</connectonce>
 <portnumber>$port</portnumber>
 <isserial>0</isserial>
 <logenabled>1</logenabled>
 <logpath>$tmp/home/plant</logpath>
 <recentfiles>
  <recent1>$tmp/home/plant/line 1/pumps.xml</recent1>
 </recentfiles>
</settings>
XML

find_window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1 || true; }
# Starts the program and waits for its window and the connection dialog;
# sets $app_pid, $win and $dialog.
start_app() {
    [[ -n $app_pid ]] && { kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; }
    # From its own folder, where the build puts the bin picture.
    (cd "$(dirname "$app")" && HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run exec "$app") >"$tmp/app.log" 2>&1 &
    app_pid=$!
    win=$(find_window "^${title//./\\.}\$")
    dialog=$(find_window '^Comms$')
    if [[ -z $win || -z $dialog ]]; then
        echo "error: the main window or the connection dialog did not show within 20 s" >&2
        kill -0 "$app_pid" 2>/dev/null || echo "pollwright exited; its output:" >&2
        cat "$tmp/app.log" >&2
        exit 1
    fi
    sleep 1   # let the first paint (and any deferred layout) finish
}
# "Connect (TCP)" sits at 10,380 in the dialog.
connect_tcp() {
    # shellcheck disable=SC2046 # x and y
    xdotool mousemove --window "$dialog" $(at 100 393) click 1
    sleep 0.5
}
# Shoots the window $2 (the main window by default) into $1.
shoot() {
    local id=${2:-$win} x y w h
    geom() { xwininfo -id "$id" | sed -n "s/^ *$1: *\([0-9-]*\).*/\1/p"; }
    x=$(geom "Absolute upper-left X") y=$(geom "Absolute upper-left Y")
    w=$(geom Width) h=$(geom Height)
    [[ -n $x && -n $y && $w -gt 0 && $h -gt 0 ]] || { echo "error: could not read the window geometry" >&2; exit 1; }
    /usr/bin/import -display "$DISPLAY" -window root "$tmp/root.png"
    /usr/bin/convert "$tmp/root.png" -crop "${w}x${h}+${x}+${y}" +repage -strip "PNG24:$tmp/shot.png"
    mv "$tmp/shot.png" "$outdir/$1"
    echo "wrote $outdir/$1 (${w}x${h})"
}
# Opens the File menu (its title at the left of the menu bar) and picks the
# entry so many steps down.
file_menu() {
    # shellcheck disable=SC2046
    xdotool mousemove --window "$win" $(at 15 10) click 1
    sleep 0.3
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return
}

start_app
shoot connection-dialog.png
connect_tcp
# "Single Poll" at 120,319 in the window (the POLL group at 10,290 below the
# 21-pixel menu bar).
for _ in 1 2; do
    # shellcheck disable=SC2046
    xdotool mousemove --window "$win" $(at 190 332) click 1
    sleep 0.4
done
sleep 0.5
shoot main-window.png

start_app
connect_tcp
file_menu 2   # Recent Poll Files, Save Polls
browser=$(find_window '^XML File Storage$')
[[ -n $browser ]] || { echo "error: the file browser did not open" >&2; exit 1; }
sleep 1   # the folder models load in the background
shoot file-browser.png "$browser"

start_app
connect_tcp
file_menu 4   # ..., Load Polls, Logging
logwin=$(find_window '^Report Logging$')
[[ -n $logwin ]] || { echo "error: the logging window did not open" >&2; exit 1; }
sleep 1
shoot logging-window.png "$logwin"

start_app
connect_tcp
# The Sequence switch at 10,30 below the menu bar opens the editor while the
# sequence is empty.
# shellcheck disable=SC2046
xdotool mousemove --window "$win" $(at 20 63) click 1
editor=$(find_window '^Sequence$')
[[ -n $editor ]] || { echo "error: the sequence editor did not open" >&2; exit 1; }
sleep 0.5
shoot sequence-editor.png "$editor"

# The poll table, drawn by a small program that runs a sequence against the slave.
kill "$app_pid" 2>/dev/null || true
HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run "$tableshot" "$slave" "$outdir/poll-table.png"
echo "wrote $outdir/poll-table.png"

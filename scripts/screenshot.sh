#!/usr/bin/env bash
# Captures the main window as it looks on first start (fresh HOME, no window
# manager, so no decorations) for the docs: docs/images/main-window.png by default.
# Takes the executable from $POLLWRIGHT, else build/app/pollwright; builds nothing.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$repo/docs/images/main-window.png}
app=${POLLWRIGHT:-$repo/build/app/pollwright}
title="Quarvel - Pollwright v1.9"

if [[ ! -x $app ]]; then
    echo "error: pollwright executable not found at '$app'" >&2
    echo "build it first:  cd $repo && cmake -S . -B build && cmake --build build -j2" >&2
    echo "or point \$POLLWRIGHT at an existing build" >&2
    exit 1
fi
for tool in Xvfb xdotool xwininfo xdpyinfo /usr/bin/import /usr/bin/convert; do
    command -v "$tool" >/dev/null || { echo "error: $tool not found (apt-get install xvfb xdotool x11-utils imagemagick)" >&2; exit 1; }
done
mkdir -p "$(dirname "$out")" || { echo "error: cannot create $(dirname "$out")" >&2; exit 1; }

tmp=$(mktemp -d)
xvfb_pid= app_pid=
cleanup() {
    for p in $app_pid $xvfb_pid; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# -displayfd lets the server pick a free display itself, so parallel runs cannot collide.
Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp 4>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $tmp/display ]] && break; kill -0 "$xvfb_pid" 2>/dev/null || break; sleep 0.05; done
[[ -s $tmp/display ]] || { echo "error: Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$tmp/display")"
xdpyinfo >/dev/null 2>&1 || { echo "error: Xvfb on $DISPLAY does not answer" >&2; exit 1; }

mkdir "$tmp/home" "$tmp/run"
chmod 0700 "$tmp/run"
HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run "$app" >"$tmp/app.log" 2>&1 &
app_pid=$!

win=$(timeout 20 xdotool search --sync --onlyvisible --name "^${title//./\\.}\$" 2>/dev/null | head -n1) || true
if [[ -z $win ]]; then
    echo "error: no visible window titled '$title' within 20 s" >&2
    kill -0 "$app_pid" 2>/dev/null || echo "pollwright exited; its output:" >&2
    cat "$tmp/app.log" >&2
    exit 1
fi
sleep 1   # let the first paint (and any deferred layout) finish

geom() { xwininfo -id "$win" | sed -n "s/^ *$1: *\([0-9-]*\).*/\1/p"; }
x=$(geom "Absolute upper-left X") y=$(geom "Absolute upper-left Y")
w=$(geom Width) h=$(geom Height)
[[ -n $x && -n $y && $w -gt 0 && $h -gt 0 ]] || { echo "error: could not read the window geometry" >&2; exit 1; }

/usr/bin/import -display "$DISPLAY" -window root "$tmp/root.png"
/usr/bin/convert "$tmp/root.png" -crop "${w}x${h}+${x}+${y}" +repage -strip "PNG24:$tmp/window.png"
mv "$tmp/window.png" "$out"
echo "wrote $out (${w}x${h})"

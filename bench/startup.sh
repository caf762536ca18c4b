#!/usr/bin/env bash
# Start-up time: process launch until the main window is mapped, on a private Xvfb.
# One xev watches root's substructure for the whole run and writes to a fifo; xev
# flushes after every event and the read loop stamps the MapNotify line with bash's
# $EPOCHREALTIME (no fork), so detection adds well under a millisecond. The mapped
# window's title is checked with xwininfo only after the time has been taken.
set -euo pipefail

usage() { echo "usage: $0 <path-to-pollwright> [runs]" >&2; exit 2; }
[[ $# -ge 1 && $# -le 2 ]] || usage
app=$1
runs=${2:-10}
title="Quarvel - Pollwright v1.9"
[[ -x $app ]] || { echo "error: '$app' is not an executable" >&2; exit 1; }
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "error: runs must be a positive integer" >&2; exit 2; }
for tool in Xvfb xev xdpyinfo xwininfo xprop; do
    command -v "$tool" >/dev/null || { echo "error: $tool not found (apt-get install xvfb x11-utils)" >&2; exit 1; }
done

export LC_ALL=C
app_pid=
# shellcheck source=../scripts/xvfb.sh
source "$(dirname "$0")/../scripts/xvfb.sh"
start_scratch_display
dpy=$DISPLAY

now_us() { local t=${EPOCHREALTIME//[!0-9]/}; echo "$t"; }

mkfifo "$tmp/events"
xev -display "$dpy" -root -event substructure -event property >"$tmp/events" &
xev_pid=$!
exec 3<"$tmp/events"
# Handshake: a root property change proves xev has selected its events.
for attempt in $(seq 50); do
    xprop -display "$dpy" -root -f _BENCH_READY 8s -set _BENCH_READY "$attempt"
    while IFS= read -t 0.2 -r line <&3; do [[ $line == PropertyNotify* ]] && break 2; done
    kill -0 "$xev_pid" 2>/dev/null || { echo "error: xev exited" >&2; exit 1; }
done
[[ ${line:-} == PropertyNotify* ]] || { echo "error: xev never reported events" >&2; exit 1; }

# Sets $ms to the milliseconds from launch to the titled window's MapNotify.
# Runs in the main shell, not $(...), so the program is one of its jobs and the
# exit trap stops it.
one_run() {
    local home="$tmp/home.$1" run="$tmp/run.$1" line t0 t1 win name
    mkdir -p "$home" "$run"; chmod 0700 "$run"
    t0=$(now_us)
    HOME=$home XDG_RUNTIME_DIR=$run DISPLAY=$dpy "$app" >"$tmp/app.log" 2>&1 &
    app_pid=$!
    while :; do
        IFS= read -t 20 -r line <&3 || { echo "error: no window titled '$title' within 20 s" >&2; cat "$tmp/app.log" >&2; return 1; }
        [[ $line == MapNotify* ]] || continue
        t1=$(now_us)
        IFS= read -t 5 -r line <&3
        win=$(sed -n 's/.* window \(0x[0-9a-f]*\),.*/\1/p' <<<"$line")
        name=$(xwininfo -display "$dpy" -id "$win" 2>/dev/null | sed -n 's/^xwininfo: Window id: [^ ]* "\(.*\)"$/\1/p')
        [[ $name == "$title" ]] && break
    done
    kill "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=
    rm -rf "$home" "$run"
    ms=$(awk -v d=$((t1 - t0)) 'BEGIN { printf "%.1f", d / 1000 }')
}

one_run warmup   # first start pays for cold caches; not counted
: >"$tmp/times"
for i in $(seq "$runs"); do
    one_run "$i"
    echo "run $i: $ms ms"
    echo "$ms" >>"$tmp/times"
done
sort -n "$tmp/times" | awk -v n="$runs" '
    { v[NR] = $1 }
    END {
        med = (n % 2) ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        printf "startup: median %.1f ms over %d runs (min %.1f, max %.1f)\n", med, n, v[1], v[n]
    }'

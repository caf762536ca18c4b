#!/usr/bin/env bash
# Soak: the real window runs a sequence of eight mixed polls (every function,
# several data types, report file on) against the test slave misbehaving on a
# share of its requests (--chaos: late, split, silent, garbage, closed, extra
# bytes), over TCP and then over RTU through a socat pty pair. Prints polls,
# valid, errors, report records and resident size at the start and the end,
# and fails when the counters or the report file do not add up.
#   bash bench/soak.sh [build-dir] [tcp-seconds] [rtu-seconds]
# Builds nothing.
set -euo pipefail

build=${1:-build}
tcp_s=${2:-3600}
rtu_s=${3:-600}
chaos=${SOAK_CHAOS:-10}      # per cent of requests answered badly
poll_time=${SOAK_POLL_TIME:-0.02}
bench=$build/bench/engine_bench
slave=$build/tools/pollwright-slave
for f in "$bench" "$slave"; do
    [[ -x $f ]] || { echo "error: $f not built (cmake --build $build)" >&2; exit 1; }
done
for tool in Xvfb xdpyinfo socat awk; do
    command -v "$tool" >/dev/null || { echo "error: $tool not found (apt-get install xvfb x11-utils socat)" >&2; exit 1; }
done
export LC_ALL=C QT_QPA_PLATFORM=xcb

slave_pid=''
# shellcheck source=../scripts/xvfb.sh
source "$(dirname "$0")/../scripts/xvfb.sh"
start_scratch_display

failed=0
# Runs one soak; $1 names it, $2 the seconds, the rest are engine_bench's
# connection options. The slave must be running.
soak() {
    local name=$1 seconds=$2 line records
    shift 2
    rm -rf "$tmp/reports" && mkdir -p "$tmp/reports"
    line=$("$bench" soak "$@" --seconds "$seconds" --warmup 10 --poll-time "$poll_time" \
        --report-folder "$tmp/reports" 2>"$tmp/bench.err") || { echo "error: engine_bench:" >&2; cat "$tmp/bench.err" >&2; exit 1; }
    records=$(cat "$tmp/reports"/*.txt 2>/dev/null | grep -c '^Poll [0-9]* at ' || true)
    echo "$name: $line report_records=$records"
    # Every poll is valid, an error, or the one STOP dropped; every error has
    # exactly one record.
    awk -v line="$line" -v records="$records" -v name="$name" 'BEGIN {
        n = split(line, kv, " ")
        for (i = 1; i <= n; i++) { split(kv[i], p, "="); v[p[1]] = p[2] }
        ok = v["outstanding"] >= 0 && v["outstanding"] <= 1 && v["errors"] == records && v["polls"] > 0
        printf "%s: polls %d = valid %d + errors %d + outstanding %d; report records %d; VmRSS %d -> %d kB (%+.2f %%): %s\n",
            name, v["polls"], v["valid"], v["errors"], v["outstanding"], records, v["rss_kb_start"],
            v["rss_kb_end"], 100 * (v["rss_kb_end"] - v["rss_kb_start"]) / v["rss_kb_start"], ok ? "consistent" : "INCONSISTENT"
        exit !ok }' || failed=1
}

start_slave() {
    "$slave" "$@" --chaos "$chaos" >"$tmp/slave.out" 2>&1 &
    slave_pid=$!
    for _ in $(seq 100); do grep -q '^ready' "$tmp/slave.out" && break; sleep 0.05; done
    grep -q '^ready' "$tmp/slave.out" || { echo "error: slave did not start:" >&2; cat "$tmp/slave.out" >&2; exit 1; }
}
stop_slave() { kill "$slave_pid" 2>/dev/null || true; wait "$slave_pid" 2>/dev/null || true; slave_pid=; }

echo "soak: $(date -u '+%F %T') UTC, chaos $chaos %, Poll Time $poll_time s, TCP $tcp_s s, RTU $rtu_s s"
if [[ $tcp_s -gt 0 ]]; then
    start_slave --tcp 0
    soak tcp "$tcp_s" --port "$(awk '/^ready tcp/ { print $3 }' "$tmp/slave.out")"
    stop_slave
fi
if [[ $rtu_s -gt 0 ]]; then
    socat -d -d pty,raw,echo=0,link="$tmp/master" pty,raw,echo=0,link="$tmp/slave-side" 2>"$tmp/socat.log" &
    for _ in $(seq 100); do [[ -e $tmp/master && -e $tmp/slave-side ]] && break; sleep 0.05; done
    [[ -e $tmp/master ]] || { echo "error: socat made no pty pair:" >&2; cat "$tmp/socat.log" >&2; exit 1; }
    # No parity: a pty refuses it.
    start_slave --rtu "$tmp/slave-side" --parity N
    soak rtu "$rtu_s" --serial "$tmp/master"
    stop_slave
fi
exit "$failed"

#!/usr/bin/env bash
# The polling engine through the real window (engine_bench) against the
# libmodbus test slave on loopback, each figure beside its anchor from the
# same run: mbpoll's fastest rate and a plain libmodbus client loop on the
# same slave. Every slave logs its requests; the log gives a second count of
# each rate, independent of the counter that program keeps. Builds nothing.
set -euo pipefail

usage() { echo "usage: $0 [build-dir] [runs]" >&2; exit 2; }
[[ $# -le 2 ]] || usage
build=${1:-build}
runs=${2:-1}
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
bench=$build/bench/engine_bench
loop=$build/bench/libmodbus_loop
slave=$build/tools/pollwright-slave
for f in "$bench" "$loop" "$slave"; do
    [[ -x $f ]] || { echo "error: $f not built (cmake --build $build)" >&2; exit 1; }
done
for tool in mbpoll Xvfb xdpyinfo timeout awk; do
    command -v "$tool" >/dev/null || { echo "error: $tool not found (apt-get install mbpoll xvfb x11-utils)" >&2; exit 1; }
done

rate_s=10      # measured seconds of each rate, after 1 s not counted
cpu_s=20       # measured seconds of each CPU figure
polls=100000   # memory: resident size after 1,000 and after this many polls
export LC_ALL=C

slave_pid=''
# The window runs on a private Xvfb, as a user's would run on a display.
# shellcheck source=../scripts/xvfb.sh
source "$(dirname "$0")/../scripts/xvfb.sh"
start_scratch_display
export QT_QPA_PLATFORM=xcb

# shellcheck source=slave.sh
source "$(dirname "$0")/slave.sh"

# Requests per second in the slave's log from $1 to $2 (unix ms).
log_rate() {
    awk -v a="$1" -v b="$2" '$1 >= a && $1 < b { n++ } END { printf "%.1f", n * 1000 / (b - a) }' "$tmp/slave.log"
}
# The same over rate_s seconds, from 1 s after the first request.
log_rate_steady() {
    local first
    first=$(awk 'NR == 1 { print $1 }' "$tmp/slave.log")
    [[ -n $first ]] || { echo 0; return; }
    log_rate $((first + 1000)) $((first + 1000 + rate_s * 1000))
}
# The value of key $1 in the line $2.
kv() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }
run_bench() {
    "$bench" "$@" --port "$port" 2>"$tmp/bench.err" || { echo "error: engine_bench $*:" >&2; cat "$tmp/bench.err" >&2; exit 1; }
}
# Pollwright at Poll Time 0; sets $rate (window counter), $slave_rate, $line.
bench_rate() {
    start_slave
    line=$(run_bench rate --seconds "$rate_s" --warmup 1 "$@")
    rate=$(kv per_s "$line")
    slave_rate=$(log_rate "$(kv from_ms "$line")" "$(kv to_ms "$line")")
    check_requests "Pollwright"
    stop_slave
}

row() { printf '%-44s %-34s %-46s %-11s %s\n' "$@"; }
verdict() {
    awk -v v="$1" -v op="$2" -v g="$3" 'BEGIN {
        ok = op == ">=" ? v >= g : op == "<" ? v < g : (v < 0 ? -v : v) <= g
        print ok ? "met" : "MISSED" }'
}

# Which source the build came from, as far as git can tell.
revision=$(git -C "$(dirname "$0")/.." describe --always --dirty 2>/dev/null || echo unknown)

for run in $(seq "$runs"); do
    echo "== run $run of $runs: $(date -u '+%F %T') UTC, source $revision, load $(cut -d' ' -f1-3 /proc/loadavg)"

    bench_rate
    once_rate=$rate once_slave=$slave_rate once_cpu=$(kv cpu_percent "$line")

    # -0 -r 1 is address 1, the register Pollwright's default poll reads;
    # -l 10 is mbpoll's shortest poll period.
    start_slave
    timeout -s INT $((rate_s + 2)) mbpoll -m tcp -p "$port" -a 1 -0 -r 1 -c 1 -l 10 127.0.0.1 >"$tmp/mbpoll.out" 2>&1 || true
    mbpoll_rate=$(log_rate_steady)
    mbpoll_lines=$(grep -c '^\[1\]:' "$tmp/mbpoll.out" || true)
    mbpoll_total=$(wc -l <"$tmp/slave.log")
    check_requests "mbpoll"
    stop_slave

    start_slave
    loop_line=$("$loop" 127.0.0.1 "$port" "$rate_s")
    loop_rate=$(log_rate_steady)
    check_requests "libmodbus_loop"
    stop_slave

    bench_rate --per-poll
    per_rate=$rate per_slave=$slave_rate per_cpu=$(kv cpu_percent "$line")
    bench_rate --hide log
    off_rate=$rate off_cpu=$(kv cpu_percent "$line")
    bench_rate --hide log,table,progress
    bare_rate=$rate bare_cpu=$(kv cpu_percent "$line")

    start_slave
    line=$(run_bench cpu --poll-time 0.5 --seconds "$cpu_s" --warmup 2)
    cpu_active=$(kv cpu_percent "$line") cpu_valid=$(kv valid "$line")
    line=$(run_bench cpu --idle --seconds "$cpu_s" --warmup 2)
    cpu_idle=$(kv cpu_percent "$line") idle_cpu_s=$(kv cpu_s "$line")
    line=$(run_bench cpu --poll-time 0.5 --hide progress --seconds "$cpu_s" --warmup 2)
    cpu_noprog=$(kv cpu_percent "$line")
    # What redraws, per second: counting paint events costs a little, so
    # these runs are kept apart from the figures above.
    cpu_paints=$(kv paints_per_s "$(run_bench cpu --poll-time 0.5 --paints --seconds 5 --warmup 2)")
    rate_paints=$(kv paints_per_s "$(run_bench rate --paints --seconds 5 --warmup 1)")
    line=$(run_bench memory --early 1000 --polls "$polls")
    rss_early=$(kv rss_kb_early "$line") rss_last=$(kv rss_kb_last "$line") growth=$(kv growth_percent "$line")
    mem_errors=$(kv errors "$line")
    stop_slave

    echo
    row "measure" "Pollwright (slave log; CPU)" "beside it, same run" "goal" "verdict"
    row "polls/s, Poll Time 0, connect-once" "$once_rate (log $once_slave; CPU $once_cpu %)" \
        "mbpoll -l 10: $mbpoll_rate; libmodbus loop: $loop_rate" ">= 800" "$(verdict "$once_rate" ">=" 800)"
    row "polls/s, new connection per poll" "$per_rate (log $per_slave; CPU $per_cpu %)" \
        "connect-once above: $once_rate" ">= 120" "$(verdict "$per_rate" ">=" 120)"
    row "CPU %, Poll Time 0.5 s, log and table on" "$cpu_active ($cpu_valid polls)" "at rest below: $cpu_idle" "< 5" \
        "$(verdict "$cpu_active" "<" 5)"
    row "CPU %, at rest, connected" "$cpu_idle ($idle_cpu_s s CPU)" "-" "< 0.5" "$(verdict "$cpu_idle" "<" 0.5)"
    row "VmRSS kB after 1,000 -> $polls polls" "$rss_early -> $rss_last" "growth $growth % ($mem_errors errors)" \
        "within 5 %" "$(verdict "$growth" "abs<=" 5)"
    row "  diagnostic: polls/s, message log off" "$off_rate (CPU $off_cpu %)" "log on above: $once_rate" "-" "-"
    row "  diagnostic: polls/s, log+table off, no bar" "$bare_rate (CPU $bare_cpu %)" "log on above: $once_rate" "-" "-"
    row "  diagnostic: CPU %, Poll Time 0.5, no bar" "$cpu_noprog" "bar shown above: $cpu_active" "-" "-"
    echo "  paints/s at Poll Time 0:   ${rate_paints//,/ }"
    echo "  paints/s at Poll Time 0.5: ${cpu_paints//,/ }"
    echo "  libmodbus loop's own count: $loop_line"
    echo "  mbpoll printed $mbpoll_lines values; the slave logged $mbpoll_total requests from it"
    echo "  load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
done

#!/usr/bin/env bash
# pollwright-run against the libmodbus test slave on loopback, beside a
# plain libmodbus client loop and mbpoll's fastest rate on the same slave in
# the same run: polls per second (counted in the slave's request log) and CPU
# time per poll. Every client sends the same request (slave 1, function 3,
# address 1, one register). Builds nothing.
set -euo pipefail

usage() { echo "usage: $0 [build-dir] [seconds]" >&2; exit 2; }
[[ $# -le 2 ]] || usage
build=${1:-build}
seconds=${2:-10}
[[ $seconds =~ ^[1-9][0-9]*$ ]] || usage
run=$build/app/pollwright-run
loop=$build/bench/libmodbus_loop
slave=$build/tools/pollwright-slave
for f in "$run" "$loop" "$slave"; do
    [[ -x $f ]] || { echo "error: $f not built (cmake --build $build)" >&2; exit 1; }
done
command -v mbpoll >/dev/null || { echo "error: mbpoll not found (apt-get install mbpoll)" >&2; exit 1; }
export LC_ALL=C

tmp=$(mktemp -d)
slave_pid=''
trap 'kill $slave_pid 2>/dev/null || true; rm -rf "$tmp"' EXIT

cat >"$tmp/one.xml" <<'XML'
<?xml version='1.0' encoding='UTF-8'?>
<polls><Sequence><S>1</S></Sequence><Poll1><polldesc/><slave>1</slave><function>3</function>
<startaddr>1</startaddr><addrperitem>1</addrperitem><val1>1</val1><val2>0</val2><val3>10</val3>
<write><Val>0</Val></write><desc><Val/></desc></Poll1></polls>
XML

# shellcheck source=slave.sh
source "$(dirname "$0")/slave.sh"

# Requests per second in the slave's log over the run, 1 s after the first
# request (start-up and connect left out), and the request count.
log_rate() {
    awk -v s="$seconds" 'NR == 1 { a = $1 + 1000; b = a + (s - 2) * 1000 }
        $1 >= a && $1 < b { n++ } END { printf "%.0f", n * 1000 / (b - a) }' "$tmp/slave.log"
}
# Runs a client (PORT in its arguments stands for the slave's port) for
# $seconds; sets $rate (slave log), $requests and $cpu_us (user + system CPU
# microseconds per request, from the shell's child times).
measure() {
    local who=$1 times_line
    shift
    start_slave
    times_line=$( (timeout -s INT "$seconds" "${@//PORT/$port}" >/dev/null 2>&1 || true; times) | tail -n 1)
    rate=$(log_rate)
    requests=$(wc -l <"$tmp/slave.log")
    check_requests "$who"
    stop_slave
    cpu_us=$(awk -v t="$times_line" -v n="$requests" 'BEGIN {
        split(t, f, " "); s = 0
        for (i = 1; i <= 2; i++) { split(f[i], p, "m"); sub("s", "", p[2]); s += p[1] * 60 + p[2] }
        printf "%.1f", n ? s * 1e6 / n : 0 }')
}
verdict() { awk -v ok="$1" 'BEGIN { print ok ? "met" : "MISSED" }'; }

echo "== $(date -u '+%F %T') UTC, source $(git -C "$(dirname "$0")/.." describe --always --dirty 2>/dev/null || echo unknown), load $(cut -d' ' -f1-3 /proc/loadavg), $seconds s each"
measure pollwright-run "$run" "$tmp/one.xml" --tcp 127.0.0.1:PORT --passes 0
run_rate=$rate run_cpu=$cpu_us run_requests=$requests
measure libmodbus_loop "$loop" 127.0.0.1 PORT "$seconds"
loop_rate=$rate loop_cpu=$cpu_us
# -0 -r 1: address 1; -l 10: mbpoll's shortest poll period.
measure mbpoll mbpoll -m tcp -p PORT -a 1 -0 -r 1 -c 1 -l 10 127.0.0.1
mbpoll_rate=$rate mbpoll_cpu=$cpu_us

printf '%-16s %10s %14s\n' client polls/s "CPU us/poll"
printf '%-16s %10s %14s\n' pollwright-run "$run_rate" "$run_cpu" libmodbus_loop "$loop_rate" "$loop_cpu" \
    "mbpoll -l 10" "$mbpoll_rate" "$mbpoll_cpu"
echo "pollwright-run: $run_requests requests in all"
echo "goal: rate >= half the loop's ($((loop_rate / 2))): $(verdict "$((2 * run_rate >= loop_rate))")"
echo "goal: CPU per poll <= twice the loop's: $(verdict "$(awk -v a="$run_cpu" -v b="$loop_cpu" 'BEGIN { print a <= 2 * b }')")"

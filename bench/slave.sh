# Shared by the benches that poll the test slave: a fresh slave on loopback
# per measurement, logging its requests to $tmp/slave.log (sets $port and
# $slave_pid; needs $slave and $tmp), and the check that every client sent
# the same request: slave 1, function 3, address 1, one register.
# shellcheck shell=bash

start_slave() {
    : >"$tmp/slave.log"
    "$slave" --tcp 0 --log "$tmp/slave.log" >"$tmp/slave.out" 2>&1 &
    slave_pid=$!
    for _ in $(seq 100); do grep -q '^ready tcp' "$tmp/slave.out" && break; sleep 0.05; done
    port=$(awk '/^ready tcp/ { print $3 }' "$tmp/slave.out")
    [[ -n $port ]] || { echo "error: slave did not start:" >&2; cat "$tmp/slave.out" >&2; exit 1; }
}
stop_slave() {
    kill "$slave_pid" 2>/dev/null || true
    wait "$slave_pid" 2>/dev/null || true
    slave_pid=
}
check_requests() {
    awk -v who="$1" '{ pdu = $8 " " $9 " " $10 " " $11 " " $12 " " $13 }
        pdu != "01 03 00 01 00 01" { printf "error: %s sent %s\n", who, pdu > "/dev/stderr"; bad = 1; exit }
        END { exit bad }' "$tmp/slave.log"
}

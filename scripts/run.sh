#!/usr/bin/env bash
# Installs what is missing, builds Pollwright and starts it.
#
#   bash scripts/run.sh [--own] [program arguments]
#
# By default it is a demo: a slave with moving values (pollwright-slave
# --demo) on a free loopback port, and the program on a demo home inside the
# build folder (build/demo-home, rebuilt on each run) whose settings point at
# that slave and whose most recent poll file reads the values. The slave
# stops when the program ends. --own starts the program on your own home and
# settings, without a slave. Other arguments are handed to the program.
set -Eeuo pipefail
source "$(dirname "$0")/common.sh"

own=false
if [ "${1:-}" = "--own" ]; then
    own=true
    shift
fi

install_missing "${BUILD_PACKAGES[@]}"

cmake -S "$ROOT" -B "$ROOT/build" >/dev/null
# Only what this script runs: the program (with the bin picture beside it)
# and the demo slave. The tests, benchmarks and tools are left to test.sh.
[ -x "$ROOT/build/app/pollwright" ] \
    || echo "Building Pollwright and the demo slave; the first build takes a few minutes."
started=$SECONDS
cmake --build "$ROOT/build" --parallel "$(nproc)" --target pollwright pollwright-slave
echo "Build done in $((SECONDS - started)) s."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    fail "Pollwright is built (build/app/pollwright), but no display is available to show it.
Run this from a desktop session, or on a virtual display: apt-get install xvfb, then
    xvfb-run -a bash scripts/run.sh"
fi
if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; then
    fail "the display '$DISPLAY' does not answer; check DISPLAY (and xhost/XAUTHORITY when it is another user's)"
fi

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(private_runtime_dir)
    export XDG_RUNTIME_DIR
fi

if $own; then
    echo "Starting Pollwright"
    # The sequence editor loads its bin picture from the working directory.
    cd "$ROOT/build/app"
    exec ./pollwright "$@"
fi

home=$ROOT/build/demo-home
rm -rf "$home"
mkdir -p "$home/.quarvel"

slave_pid=
stop_slave() {
    [ -n "$slave_pid" ] || return 0
    kill "$slave_pid" 2>/dev/null || true
    wait "$slave_pid" 2>/dev/null || true
    slave_pid=
}
trap stop_slave EXIT
trap 'exit 130' INT TERM HUP

# --pdeathsig: the slave goes even when this script is killed outright.
deathsig=()
command -v setpriv >/dev/null && deathsig=(setpriv --pdeathsig TERM)
"${deathsig[@]}" "$ROOT/build/tools/pollwright-slave" --tcp 0 --demo >"$home/slave.out" 2>&1 &
slave_pid=$!
for _ in $(seq 100); do
    grep -q '^ready' "$home/slave.out" && break
    kill -0 "$slave_pid" 2>/dev/null || break
    sleep 0.05
done
port=$(sed -n 's/^ready tcp //p' "$home/slave.out")
[ -n "$port" ] || fail "the demo slave did not start: $(cat "$home/slave.out")"

cp "$ROOT/resources/demo-polls.xml" "$home/demo-polls.xml"
cat >"$home/.quarvel/pollwright-settings.xml" <<XML
<?xml version='1.0' encoding='UTF-8'?>
<settings>
 <port></port>
 <baud>19200</baud>
 <data>8</data>
 <flow>0</flow>
 <parity>2</parity>
 <stop>1</stop>
 <ethernet>127.0.0.1</ethernet>
 <connectonce>1</connectonce>
 <portnumber>$port</portnumber>
 <isserial>0</isserial>
 <logenabled>0</logenabled>
 <logpath></logpath>
 <recentfiles>
  <recent1>$home/demo-polls.xml</recent1>
 </recentfiles>
</settings>
XML

cat <<TEXT
Starting Pollwright against a demo slave on 127.0.0.1:$port (pollwright-slave --help lists its values).
  1. Click "Connect (TCP)".
  2. File > Recent Poll Files > $home/demo-polls.xml
  3. Tick "Sequence", press GO, and open the polls with the arrows in the table: the values move.
The demo home is $home; bash scripts/run.sh --own starts on your own settings.
TEXT
cd "$ROOT/build/app"
status=0
HOME=$home ./pollwright "$@" || status=$?
exit "$status"

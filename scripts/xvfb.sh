# shellcheck shell=bash
# Sourced by the scripts that need a display. start_scratch_display makes the
# scratch folder $tmp and starts a private Xvfb on a display it picks itself
# (so parallel runs cannot collide), exporting DISPLAY; its screen is
# $XVFB_SCREEN (WIDTHxHEIGHTxDEPTH), 1280x1024x24 by default. At exit every
# background job the script started (Xvfb, slaves, socat, the program) is
# stopped and $tmp removed.
start_scratch_display() {
    tmp=$(mktemp -d)
    trap stop_background_jobs EXIT
    trap 'exit 130' INT TERM
    Xvfb -displayfd 4 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp 4>"$tmp/display" 2>"$tmp/xvfb.log" &
    local xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $tmp/display ]] && break; kill -0 "$xvfb_pid" 2>/dev/null || break; sleep 0.05; done
    [[ -s $tmp/display ]] || { echo "error: Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
    DISPLAY=":$(head -n1 "$tmp/display")"
    export DISPLAY
    xdpyinfo >/dev/null 2>&1 || { echo "error: Xvfb on $DISPLAY does not answer" >&2; exit 1; }
}

stop_background_jobs() {
    local pids
    pids=$(jobs -p)
    # shellcheck disable=SC2086 # one pid a word
    [[ -z $pids ]] || kill $pids 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$tmp"
}

# Sourced by the scripts that need a display: start_xvfb starts a private
# Xvfb on a display it picks itself (so parallel runs cannot collide),
# exports DISPLAY and sets xvfb_pid. $tmp must name a scratch folder.
start_xvfb() {
    Xvfb -displayfd 4 -screen 0 1280x1024x24 -nolisten tcp 4>"$tmp/display" 2>"$tmp/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $tmp/display ]] && break; kill -0 "$xvfb_pid" 2>/dev/null || break; sleep 0.05; done
    [[ -s $tmp/display ]] || { echo "error: Xvfb did not start:" >&2; cat "$tmp/xvfb.log" >&2; exit 1; }
    DISPLAY=":$(head -n1 "$tmp/display")"
    export DISPLAY
    xdpyinfo >/dev/null 2>&1 || { echo "error: Xvfb on $DISPLAY does not answer" >&2; exit 1; }
}

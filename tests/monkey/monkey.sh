#!/usr/bin/env bash
# GUI monkey: random clicks, keys, texts, menus, loads and saves on the real
# windows under a private Xvfb, against the test slave with faults on for a
# share of the run; the program runs as user nobody in a mount namespace where
# everything but the scratch folder is read-only. Fails on a crash, a sanitizer
# report, a hang, a main-window close that leaves the program running, or a
# change outside the scratch home; prints the seed and a replay command.
#   bash tests/monkey/monkey.sh BUILD_DIR SECONDS SEED [--chaos-share FRACTION]
# Needs root and a sanitizer build (-DPOLLWRIGHT_SANITIZE=ON); builds nothing.
set -euo pipefail

if [[ $# -lt 3 ]]; then
    echo "usage: bash $0 BUILD_DIR SECONDS SEED [--chaos-share FRACTION]" >&2
    exit 2
fi
if [[ $(id -u) -ne 0 ]]; then
    echo "error: the monkey must run as root: it runs the program as user nobody in a mount namespace" \
        "where all but its scratch folder is read-only (unshare, mount, setpriv)" >&2
    exit 2
fi
for tool in Xvfb xdotool unshare setpriv mount /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "error: $tool not found (apt-get install xvfb xdotool)" >&2; exit 2; }
done
exec /usr/bin/python3 "$(dirname "$0")/monkey.py" "$@"

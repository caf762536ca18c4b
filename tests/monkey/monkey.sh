#!/usr/bin/env bash
# GUI monkey: random clicks, keys, texts, menus, loads and saves on the real
# windows under a private Xvfb, against the test slave with faults on for a
# share of the run; the program runs as user nobody in a mount namespace where
# everything but the scratch folder is read-only. Fails on a crash, a sanitizer
# report, a hang, a main-window close that leaves the program running, or a
# write into the program's working folder; prints the seed and a replay command.
#   bash tests/monkey/monkey.sh BUILD_DIR SECONDS SEED [--chaos-share FRACTION]
# Needs root (bwrap, setpriv) and a sanitizer build
# (-DPOLLWRIGHT_SANITIZE=ON); builds nothing, installs what it lacks.
set -euo pipefail
[[ $(id -u) -eq 0 ]] || { echo "error: the monkey must run as root: it sandboxes the program" >&2; exit 2; }
source "$(dirname "$0")/../../scripts/common.sh"
install_missing xvfb xdotool python3-xlib bubblewrap
exec /usr/bin/python3 "$(dirname "$0")/monkey.py" "$@"

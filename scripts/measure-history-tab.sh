#!/usr/bin/env bash
# Measures choosing the History tab with a year of history on disk, in the running program
# on a real X server (Xvfb), clicked with xdotool: from the click's handling to the page
# drawn, and the main thread's worst stall over the whole run
# (the diagnostics' watchdog). A second run clicks the Battery tab's "All" range instead.
# Usage: scripts/measure-history-tab.sh [runs] (default 5). Needs a release build, Xvfb and
# xdotool (apt-get install xvfb xdotool); not part of the tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${1:-5}
build=build/release
work=$(mktemp -d)
Xvfb :77 -screen 0 1280x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'pkill -f -- "--diagnostics $work/" 2>/dev/null; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=:77 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/run
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export VUZUR_SYSFS_ROOT=$PWD/tests/data/sysfs/dell_xps15_9560_discharging
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$build/bench/vuzur_write_history" "$XDG_DATA_HOME/Quorvel Vuzur/History" 365 "$VUZUR_SYSFS_ROOT"
du -sh "$XDG_DATA_HOME/Quorvel Vuzur/History"
sleep 1

# Clicks at a point of the main window, in its own coordinates.
click() {
    local window
    window=$(xdotool search --sync --onlyvisible --name '^Quorvel Vuzur$' | head -1)
    xdotool mousemove --window "$window" "$1" "$2" click 1
}

# One run: start on the battery tab, wait for the history's load to end, click, wait, quit.
measure() {
    local what=$1 out=$work/d-$2.json
    "$build/src/QuorvelPower/vuzur" --open battery --no-login-item-question \
        --diagnostics "$out" >/dev/null 2>&1 &
    local pid=$!
    sleep 6
    case $what in history) click 437 26 ;; all) click 885 398 ;; esac
    sleep 4
    kill -TERM $pid
    wait $pid || true
    /usr/bin/python3 - "$out" "$what" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
m = d["marks"]
line = f"{sys.argv[2]:8} history loaded {m.get('historyLoaded', -1):.2f} s after start"
if "historyTabDrawn" in m and "historyTabChosen" in m:
    line += f", History tab drawn {1000 * (m['historyTabDrawn'] - m['historyTabChosen']):.0f} ms after its choice"
print(line + f", worst main-thread stall {d['worstMainThreadStallMs']:.0f} ms, peak {d['peakFootprintBytes'] / 2**20:.0f} MiB")
PY
}

for i in $(seq "$runs"); do measure history "$i"; done
for i in $(seq "$runs"); do measure all "a$i"; done
if [ -n "${VUZUR_MEASURE_IDLE:-}" ]; then for i in $(seq "$runs"); do measure none "n$i"; done; fi

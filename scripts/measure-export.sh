#!/usr/bin/env bash
# Measures the window's JSON export of a year of history in the running program on a real X
# server (Xvfb), driven with xdotool as a person would: the Export menu, "History (JSON)…",
# the file typed into the save dialog. Prints how long the export wrote, the main thread's
# worst stall over the whole run (the diagnostics' watchdog) and the program's peak memory.
# Usage: scripts/measure-export.sh [runs] (default 3) [screenshot.png, taken while it writes].
# Needs a release build, Xvfb, xdotool, x11-apps and imagemagick; not part of the tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
runs=${1:-3}
shot=${2:-}
build=build/release
work=$(mktemp -d)
Xvfb :79 -screen 0 1280x1000x24 >/dev/null 2>&1 &
xvfb=$!
trap 'pkill -f -- "--diagnostics $work/" 2>/dev/null; kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=:79 QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/run
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export VUZUR_SYSFS_ROOT=$PWD/tests/data/sysfs/dell_xps15_9560_discharging
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
"$build/bench/vuzur_write_history" "$XDG_DATA_HOME/Quorvel Vuzur/History" 365 "$VUZUR_SYSFS_ROOT"
sleep 1

measure() {
    local out=$work/d-$1.json target=$work/export-$1.json
    "$build/src/QuorvelPower/vuzur" --open battery --no-login-item-question \
        --diagnostics "$out" >/dev/null 2>&1 &
    local pid=$!
    sleep 5
    local window
    window=$(xdotool search --sync --onlyvisible --name '^Quorvel Vuzur$' | head -1)
    # The Export menu sits at the right of the header, left of the refresh button.
    xdotool mousemove --window "$window" 898 25 click 1
    sleep 1
    xdotool key Down Down Return
    sleep 2
    xdotool key ctrl+a
    xdotool type --delay 5 "$target"
    xdotool key Return
    if [ -n "$shot" ] && [ "$1" = 1 ]; then
        sleep 0.6
        xwd -root -silent | convert xwd:- "$shot"
    fi
    for _ in $(seq 1 120); do
        sleep 0.25
        [ -e "$target" ] && break
    done
    sleep 1
    kill -TERM $pid
    wait $pid || true
    /usr/bin/python3 - "$out" "$target" <<'PY'
import json, os, sys
d = json.load(open(sys.argv[1]))
m = d["marks"]
size = os.path.getsize(sys.argv[2]) / 2**20 if os.path.exists(sys.argv[2]) else 0
took = m.get("exportWritten", -1) - m.get("exportStarted", 0)
print(f"export of {size:.0f} MiB written in {took:.2f} s, worst main-thread stall "
      f"{d['worstMainThreadStallMs']:.0f} ms, peak {d['peakFootprintBytes'] / 2**20:.0f} MiB")
PY
    rm -f "$target"
}

for i in $(seq "$runs"); do measure "$i"; done

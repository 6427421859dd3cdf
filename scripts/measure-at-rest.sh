#!/usr/bin/env bash
# Measures the running program at rest with nothing on screen (30 s cadence) on a recorded
# laptop and this machine's processes: CPU time per wall second, wake-ups per second and
# peak memory from the kernel, the refresh median from the program's own diagnostics.
# Usage: scripts/measure-at-rest.sh [seconds] (default 600). Needs a release build.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-600}
binary=build/release/src/QuorvelPower/vuzur
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
export VUZUR_SYSFS_ROOT=$PWD/tests/data/sysfs/dell_xps15_9560_discharging

# Context switches of every thread of a process, voluntary and not.
switches() {
    local total=0 n
    for status in /proc/"$1"/task/*/status; do
        for n in $(awk '/ctxt_switches/ {print $2}' "$status" 2>/dev/null); do
            total=$((total + n))
        done
    done
    echo "$total"
}
cpu_ticks() { awk '{print $14 + $15}' /proc/"$1"/stat; }

# Without --diagnostics: the program's own cost, nothing else running in it.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$binary" >/dev/null 2>&1 &
plain=$!
# With --diagnostics: the refresh figures (its watchdog adds ~20 probes a second).
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$binary" --quit-after "$seconds" --diagnostics "$work/d.json" >/dev/null 2>&1 &
measured=$!
sleep 40 # past start-up and the first refreshes
s0=$(switches $plain); c0=$(cpu_ticks $plain); t0=$(date +%s.%N)
sleep $((seconds - 60))
s1=$(switches $plain); c1=$(cpu_ticks $plain); t1=$(date +%s.%N)
hwm=$(awk '/VmHWM/ {print $2}' /proc/$plain/status)
threads=$(ls /proc/$plain/task | wc -l)
kill -TERM $plain; wait $plain || true
wait $measured || true
hz=$(getconf CLK_TCK)
awk -v s0="$s0" -v s1="$s1" -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" \
    -v hwm="$hwm" -v threads="$threads" 'BEGIN {
    wall = t1 - t0
    printf "window: %.0f s\n", wall
    printf "cpu: %.4f %% of a core\n", 100 * (c1 - c0) / hz / wall
    printf "wake-ups: %.3f per second (context switches of all %d threads)\n", (s1 - s0) / wall, threads
    printf "peak resident memory: %.1f MB\n", hwm / 1024
}'
grep -E '"refresh(Count|MedianMs|WorstMs|FirstMs)"|peakFootprint|cpuSeconds|wallSeconds' "$work/d.json"

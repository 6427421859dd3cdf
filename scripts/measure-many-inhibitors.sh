#!/usr/bin/env bash
# Runs Vuzur on its Keep Awake tab while a fake logind lists N inhibitors (default 10,000;
# logind itself allows 8,192), on private buses, offscreen, and prints what its diagnostics
# measured: the main thread's worst stall and the peak resident memory.
#   scripts/measure-many-inhibitors.sh [N] [SECONDS]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
count=${1:-10000}
seconds=${2:-20}
vuzur=build/release/src/QuorvelPower/vuzur
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
bus() { dbus-daemon --session --nofork --print-address=1 2>/dev/null & }
bus >"$work/session"
bus >"$work/system"
sleep 0.5
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/session")
export DBUS_SYSTEM_BUS_ADDRESS=$(head -1 "$work/system")
/usr/bin/python3 -m dbusmock --system --template tests/dbus/logind_inhibitors.py \
    --parameters "{\"many\": $count}" >/dev/null 2>&1 &
for _ in $(seq 50); do
    busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" status org.freedesktop.login1 >/dev/null 2>&1 && break
    sleep 0.2
done
QT_QPA_PLATFORM=offscreen XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" \
    "$vuzur" --open awake --diagnostics "$work/d.json" --quit-after "$seconds" 2>/dev/null
/usr/bin/python3 - "$work/d.json" "$count" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
print(f"{sys.argv[2]} inhibitors: worst main-thread stall {d['worstMainThreadStallMs']:.0f} ms, "
      f"peak resident {d['peakFootprintBytes'] / 2**20:.0f} MiB, {d['refreshCount']} refreshes, "
      f"median refresh {d['refreshMedianMs']:.0f} ms")
PY

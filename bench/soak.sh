#!/usr/bin/env bash
# The long soak: the link against modbus-sim with random faults, every result
# predicted from the simulator's log (see tests/soak/SoakMain.cpp).
#   bench/soak.sh [TRANSACTIONS [SEED]]     default 20000 transactions (about 15 minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
[ -d "$build" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target link-soak modbus-sim >/dev/null
exec "$build/tests/soak/link-soak" --transactions "${1:-20000}" ${2:+--seed "$2"}

#!/usr/bin/env bash
# Builds the tool and runs it together with a simulated field device.
#
#   scripts/run-tool.sh                 modbus-sim on the first free COM number from 9, then the tool
#   scripts/run-tool.sh --no-sim        the tool alone (a real adapter)
#   scripts/run-tool.sh -- --devices 1-3 --log
#                                       options after -- go to modbus-sim (see modbus-sim --help)
#
# Missing Debian packages are installed with apt-get. The build goes to build/
# (BUILD_DIR overrides it), configured for Release the first time; an existing
# build directory keeps its configuration. The simulator is stopped when the
# tool exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

with_sim=1
sim_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-sim) with_sim=0 ;;
    --) shift; sim_args=("$@"); break ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run-tool.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

# The windows' Russian texts need a font with Cyrillic letters.
if command -v apt-get >/dev/null && command -v dpkg-query >/dev/null; then
  "$root/scripts/install-deps.sh" fonts-dejavu-core
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
targets=(modbus-tester)
if [ $with_sim -eq 1 ]; then
  # Ninja lists "modbus-sim: phony", Make "... modbus-sim".
  known=$(cmake --build "$build" --target help 2>/dev/null || true)
  if grep -qE '(^|[ .])modbus-sim(:|$)' <<<"$known"; then
    targets+=(modbus-sim)
  else
    echo "run-tool.sh: this tree has no modbus-sim yet; starting the tool alone" >&2
    with_sim=0
  fi
fi
cmake --build "$build" --target "${targets[@]}"

sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap stop_sim EXIT
trap 'exit 130' INT TERM HUP

if [ $with_sim -eq 1 ]; then
  log="$build/modbus-sim.log"
  "$build/sim/modbus-sim" "${sim_args[@]}" >"$log" 2>&1 &
  sim_pid=$!
  # It announces itself with "modbus-sim: COM9 /dev/pts/5".
  announced=""
  for _ in $(seq 50); do
    announced=$(grep -m1 -E '^modbus-sim: COM[0-9]+ ' "$log" || true)
    [ -n "$announced" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if [ -z "$announced" ]; then
    echo "run-tool.sh: modbus-sim did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  read -r _ com device _ <<<"$announced"
  echo "Simulated device on $com ($device), log in $log."
  echo "In the tool: \"Настройка порта\", choose $com, OK; then \"Пуск\"."
fi

"$build/ui/modbus-tester"

#!/usr/bin/env bash
# The serial event thread and its hand-over to the GUI thread under
# ThreadSanitizer: a separate build of the serial tests only.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TSAN_BUILD_DIR:-$root/build-tsan}"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_BUILD_TYPE=Debug -DMODBUS_TESTER_TSAN=ON >/dev/null
targets=$(cmake --build "$build" --target help | sed -n 's/^\(serial_ComThread[A-Za-z]*Test\):.*/\1/p')
[ -n "$targets" ] || { echo "no event-thread tests found" >&2; exit 1; }
# shellcheck disable=SC2086
cmake --build "$build" -j"${TSAN_BUILD_JOBS:-2}" --target $targets

# halt_on_error: any report fails the run. Some kernels' address-space layout
# trips TSan's shadow mapping; running without ASLR sidesteps that.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
run=()
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi
for t in $targets; do
  echo "== $t =="
  "${run[@]}" "$build/tests/serial/$t"
done
echo "ThreadSanitizer run done: $build"

#!/usr/bin/env bash
# Cross-compiles the portable layers (serial/, link/) and the Windows smoke and
# device-check programs with MinGW-w64, so the Windows backend cannot rot.
# Nothing is run unless MINGW_WINE_CHECK=1 asks for the check under Wine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MINGW_BUILD_DIR:-$root/build-mingw}"
compiler=x86_64-w64-mingw32-g++-posix

if ! command -v "$compiler" >/dev/null 2>&1; then
  echo "Installing the MinGW-w64 cross compiler"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends g++-mingw-w64-x86-64-posix
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DMODBUS_TESTER_PORTABLE_ONLY=ON
cmake --build "$build" --parallel "${MINGW_BUILD_JOBS:-2}"

echo "MinGW build done: $build"

# Optional, where Wine is installed: the device check against a pseudo-terminal.
if [ "${MINGW_WINE_CHECK:-0}" = 1 ]; then
  "$root/tests/portable/wine-check.sh" "$build/tests/portable/win32-device-check.exe"
fi

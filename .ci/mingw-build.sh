#!/usr/bin/env bash
# Cross-compiles for 64-bit Windows with MinGW-w64: the layers without Qt
# (serial/, link/, requests/, monitor/, finder/, trend/), modbus-cli, and the test programs of serial/,
# link/ and requests/ with GoogleTest built from Debian's source package, so
# that the Windows backend cannot rot. .ci/windows-tests.sh runs them under Wine.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MINGW_BUILD_DIR:-$root/build-mingw}"
compiler=x86_64-w64-mingw32-g++-posix
gtest_source=/usr/src/googletest

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if ! command -v "$compiler" >/dev/null 2>&1 || [ ! -f "$gtest_source/googletest/CMakeLists.txt" ]; then
  echo "Installing the MinGW-w64 cross compiler and GoogleTest's source"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends g++-mingw-w64-x86-64-posix googletest
fi

# CLI11 and nlohmann/json are header-only: modbus-cli uses the host's headers,
# linked into a folder of their own (the whole /usr/include would shadow
# MinGW's C library headers).
headers="$build/header-only"
mkdir -p "$headers"
header_options=()
if [ -d /usr/include/CLI ] && [ -d /usr/include/nlohmann ]; then
  ln -sfn /usr/include/CLI "$headers/CLI"
  ln -sfn /usr/include/nlohmann "$headers/nlohmann"
  header_options=(-DMODBUS_TESTER_HEADER_ONLY_INCLUDE="$headers")
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)

cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DMODBUS_TESTER_PORTABLE_ONLY=ON \
  -DMODBUS_TESTER_GTEST_SOURCE="$gtest_source" \
  "${header_options[@]}"
cmake --build "$build" --parallel "${MINGW_BUILD_JOBS:-2}"

echo "MinGW build done: $build"

# Optional, where Wine is installed: the device check against a pseudo-terminal.
if [ "${MINGW_WINE_CHECK:-0}" = 1 ]; then
  "$root/tests/portable/wine-check.sh" "$build/tests/portable/win32-device-check.exe"
fi

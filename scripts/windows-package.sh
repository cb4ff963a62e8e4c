#!/usr/bin/env bash
# The Windows zip: dist/modbus-tester-<version>-win64.zip with the window
# (modbus-tester.exe) and modbus-cli.exe cross-built with MinGW-w64 against
# Qt for Windows (scripts/windows-qt.sh builds it once into a cache), the Qt
# DLLs and plugins they load, the MinGW runtime DLLs, Qt's Russian
# translation, the licences and a readme; all stripped. modbus-sim serves
# pseudo-terminals and is Linux-only, so it is not in the zip.
#   WINDOWS_BUILD_DIR    build folder (default build-windows)
#   WINDOWS_BUILD_TESTS  1: also build the window test programs (run by .ci/windows-tests.sh)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=lib/timed-step.sh
source "$root/scripts/lib/timed-step.sh"
build="${WINDOWS_BUILD_DIR:-$root/build-windows}"
dist="$root/dist"
mingw=x86_64-w64-mingw32
# The MinGW compilers, the header-only libraries modbus-cli needs, GoogleTest's
# source for the window's tests, Qt's Russian translation, zip.
"$root/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix googletest qt6-translations-l10n zip
gcc_runtime="/usr/lib/gcc/$mingw/$("$mingw-g++-posix" -dumpversion)"  # 12-posix

qt_prefix_file="$(mktemp)"
trap 'rm -f "$qt_prefix_file"' EXIT
timed_step "Qt for Windows (cached)" bash -c '"$1" >"$2"' _ "$root/scripts/windows-qt.sh" "$qt_prefix_file"
qt="$(tail -1 "$qt_prefix_file")"

cross_build() {
  # CLI11 and nlohmann/json are header-only: the host's headers, linked into
  # a folder of their own (the whole /usr/include would shadow MinGW's).
  mkdir -p "$build/header-only"
  ln -sfn /usr/include/CLI "$build/header-only/CLI"
  ln -sfn /usr/include/nlohmann "$build/header-only/nlohmann"
  local tests=() targets=(modbus-tester modbus-cli)
  if [ "${WINDOWS_BUILD_TESTS:-0}" = 1 ]; then
    # The window's test programs and the Win32 programs of the click-through's
    # known limits; the other layers' tests are built by .ci/mingw-build.sh.
    tests=(-DMODBUS_TESTER_GTEST_SOURCE=/usr/src/googletest)
    targets+=(ui_tests wine-limit-properties-without-access wine-limit-parity-check-on-pty)
  fi
  # Qt's toolchain file finds the Qt for Windows and loads ours for the compilers.
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DMODBUS_TESTER_HEADER_ONLY_INCLUDE="$build/header-only" \
    "${tests[@]}"
  nice -n 19 cmake --build "$build" --parallel "${WINDOWS_BUILD_JOBS:-2}" --target "${targets[@]}"
}
timed_step "Windows build of the window and modbus-cli" cross_build

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt"; exit 1; }
name="modbus-tester-$version-win64"
stage="$build/zip/$name"
qt_version="$(dpkg-query -W -f='${source:Version}' qt6-base-dev)"
translations_version="$(dpkg-query -W -f='${Version}' qt6-translations-l10n)"

# The files the programs load: Qt's three libraries (and Core's own needs),
# the windows platform plugin, the styles plugin, the MinGW runtime.
lay_out() {
  rm -rf "$stage"
  mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations" "$stage/licenses"
  cp "$build/ui/modbus-tester.exe" "$build/cli/modbus-cli.exe" "$stage/"
  cp "$qt/bin/Qt6Core.dll" "$qt/bin/Qt6Gui.dll" "$qt/bin/Qt6Widgets.dll" "$stage/"
  cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
  cp "$qt/plugins/styles/"*.dll "$stage/styles/"
  cp "$gcc_runtime/libstdc++-6.dll" "$gcc_runtime/libgcc_s_seh-1.dll" \
     "/usr/$mingw/lib/libwinpthread-1.dll" "$stage/"
  cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"
  "$mingw-strip" --strip-unneeded "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll

  # Texts with Windows line ends, so that Notepad shows them as written.
  crlf() { sed -e "s/@VERSION@/$version/g; s/@QT_VERSION@/$qt_version/g" \
               -e "s/@QT_TRANSLATIONS_VERSION@/$translations_version/g; s/\r\?\$/\r/" "$1" >"$2"; }
  crlf "$root/packaging/windows/README.txt" "$stage/README.txt"
  crlf "$root/LICENSE" "$stage/LICENSE.txt"
  crlf "$root/packaging/windows/Qt-SOURCE.txt" "$stage/licenses/Qt-SOURCE.txt"
  crlf /usr/share/common-licenses/LGPL-3 "$stage/licenses/LGPL-3.txt"
  crlf /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.txt"
  crlf /usr/share/doc/libqt6core6/copyright "$stage/licenses/Qt-copyright.txt"
  crlf /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/MinGW-gcc-copyright.txt"
  crlf /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/MinGW-w64-copyright.txt"
}
timed_step "Lay out $name" lay_out
timed_step "Every DLL import resolved in the zip or Windows" "$root/scripts/check-windows-imports.sh" "$stage"

make_zip() {
  mkdir -p "$dist"
  rm -f "$dist/$name.zip"
  # The files at the zip's top: Explorer's "Extract all" makes the folder.
  (cd "$stage" && zip -q -9 -r -X "$dist/$name.zip" .)
  echo "$dist/$name.zip: $(du -h "$dist/$name.zip" | cut -f1), $(du -sh "$stage" | cut -f1) unpacked"
}
timed_step "Zip" make_zip

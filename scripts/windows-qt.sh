#!/usr/bin/env bash
# Qt 6 for 64-bit Windows, cross-built here with MinGW-w64 from Debian's own
# qt6-base source package, the same version as the host tools of
# qt6-base-dev (moc, rcc, uic), which the cross build runs.
#
# Only what the tool links: Core, Gui, Widgets (with Test for the window
# tests), the windows platform plugin, the Windows styles, Qt's bundled
# third-party libraries. Installed into a cache outside the work tree, keyed
# by the source version, this script and the toolchain file, and marked
# complete only after the install; a complete cache is used as it is.
#
# Prints the install prefix as the last line of standard output; everything
# else goes to standard error. The build runs at the lowest priority.
#   MODBUS_TESTER_CACHE   cache folder (default ${XDG_CACHE_HOME:-~/.cache}/modbus-tester)
#   QT_BUILD_JOBS         parallel build jobs (default 2)
set -euo pipefail
exec 3>&1 1>&2

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=lib/timed-step.sh
source "$root/scripts/lib/timed-step.sh"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
renice -n 19 -p $$ >/dev/null

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
install_missing() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${missing[*]}"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
install_missing qt6-base-dev qt6-base-dev-tools g++-mingw-w64-x86-64-posix dpkg-dev cmake ninja-build xz-utils

version="$(dpkg-query -W -f='${source:Version}' qt6-base-dev)"
key="$(cat <(echo "$version") "${BASH_SOURCE[0]}" "$toolchain" | sha256sum | cut -c1-12)"
cache="${MODBUS_TESTER_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/modbus-tester}/qt-windows-$version-$key"
prefix="$cache/prefix"

if [ -f "$cache/complete" ]; then
  echo "Qt $version for Windows: complete cache at $prefix"
  echo "$prefix" >&3
  exit 0
fi

echo "Qt $version for Windows: building into $cache"
rm -rf "$cache"
mkdir -p "$cache"

# The source package through a deb-src list of our own, written from the
# machine's apt sources into a scratch folder: the system's apt set-up and
# its package lists stay as they are.
fetch_source() {
  local apt="$cache/apt" file
  mkdir -p "$apt/sourceparts" "$apt/lists/partial" "$apt/cache/archives/partial" "$cache/source"
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -e "$file" ] || continue
    sed -E 's/^Types:.*$/Types: deb-src/' "$file" >"$apt/sourceparts/$(basename "$file")"
  done
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -nE 's/^deb(\s)/deb-src\1/p' >"$apt/sources.list" || true
  local options=(-q -o "Dir::Etc::sourcelist=$apt/sources.list" -o "Dir::Etc::sourceparts=$apt/sourceparts"
                 -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
  apt-get "${options[@]}" update
  (cd "$cache/source" && apt-get "${options[@]}" source "qt6-base=$version")
}

# Debian's source drops src/3rdparty/wintab, which the windows plugin
# includes for tablet events: tablet events are off. Without Direct2D the
# DirectWrite font database is not built, so DirectWrite 3, which the
# windows plugin would then reference, is off too. A Debian patch turns
# androiddeployqt on for every cross build; it is of no use here.
configure_qt() {
  local source
  source="$(find "$cache/source" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*')"
  cmake -S "$source" -B "$cache/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON \
    -DFEATURE_androiddeployqt=OFF \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_zstd=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_libpng=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_md4c=OFF
}

build_qt() {
  cmake --build "$cache/build" --parallel "${QT_BUILD_JOBS:-2}"
}

install_qt() {
  cmake --install "$cache/build"
  local needed
  for needed in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll \
                plugins/platforms/qwindows.dll lib/cmake/Qt6/qt.toolchain.cmake; do
    [ -f "$prefix/$needed" ] || { echo "the install lacks $needed"; return 1; }
  done
}

timed_step "Qt for Windows: fetch the qt6-base source" fetch_source
timed_step "Qt for Windows: configure" configure_qt
timed_step "Qt for Windows: build" build_qt
timed_step "Qt for Windows: install" install_qt
echo "$(find "$cache/build" -name '*.obj' -o -name '*.o' | wc -l) object files built; installed prefix: $(du -sh "$prefix" | cut -f1)"
rm -rf "$cache/build" "$cache/source" "$cache/apt"
touch "$cache/complete"
echo "$prefix" >&3

#!/usr/bin/env bash
# The Debian package dist/modbus-tester_<version>_<arch>.deb: modbus-tester,
# modbus-cli and modbus-sim in /usr/bin, the desktop entry, the icon and the
# manual pages, laid out by `cmake --install` (packaging/CMakeLists.txt) and
# packed by CPack, with the dependencies that dpkg-shlibdeps reads from the
# binaries. Checked with lintian, which must report no error.
#   DEB_BUILD_DIR   build folder (default build, shared with scripts/test.sh)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=lib/timed-step.sh
source "$root/scripts/lib/timed-step.sh"
build="${DEB_BUILD_DIR:-$root/build}"
dist="$root/dist"

"$root/scripts/install-deps.sh" dpkg-dev lintian file

build_programs() {
  # The build type of scripts/test.sh, so that a shared folder is not rebuilt;
  # `make install` then needs only the programs, not the tests.
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
  nice -n 19 cmake --build "$build" --parallel "${DEB_BUILD_JOBS:-2}" \
    --target modbus-tester modbus-cli modbus-sim packaging_files
}
timed_step "Build the programs for the Debian package" build_programs
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deb="$dist/modbus-tester_${version}_$(dpkg --print-architecture).deb"

pack() {
  rm -rf "$build/deb" "$deb"
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build/deb"
  mkdir -p "$dist"
  mv "$build/deb/$(basename "$deb")" "$deb"
  echo "$deb: $(du -h "$deb" | cut -f1)"
  dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
  dpkg-deb --contents "$deb" | awk '{print $6}'
}
timed_step "Pack the Debian package" pack

check() {
  # Errors fail; warnings and notes are shown.
  lintian --fail-on error --display-info "$deb"
  echo "lintian: no errors"
}
timed_step "lintian" check

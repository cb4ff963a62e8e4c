#!/usr/bin/env bash
# The Debian package as a user gets it: installed with apt-get, its programs
# run from /usr/bin (modbus-sim and modbus-cli against each other, the window
# on the offscreen platform and on an X server), then purged, leaving none of
# its files behind. Needs root (or sudo) for apt-get.
#   .ci/deb-install-check.sh [PACKAGE.deb]   default: dist/modbus-tester_<version>_<arch>.deb
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
version="$(sed -n 's/^project(.* VERSION \([0-9.]*\)).*/\1/p' "$root/CMakeLists.txt")"
deb="$(realpath "${1:-$root/dist/modbus-tester_${version}_$(dpkg --print-architecture).deb}")"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
apt() { "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -y "$@"; }
work="$(mktemp -d)"
sim_pid=""
cleanup() {
  [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
  [ -z "${xvfb_pid:-}" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

[ -f "$deb" ] || fail "no package $deb (scripts/deb-package.sh makes it)"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "the package's version is not the project's $version"
if dpkg-query -W -f='${Status}' modbus-tester 2>/dev/null | grep -q installed; then
  echo "Purging the modbus-tester installed before"
  apt purge modbus-tester >/dev/null
fi
dpkg-query -W -f='${Status}' xvfb xdotool 2>/dev/null | grep -c "install ok installed" | grep -qx 2 ||
  apt install --no-install-recommends xvfb xdotool >/dev/null

echo "== apt-get install $deb =="
apt install "$deb"
for program in modbus-tester modbus-cli modbus-sim; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not /usr/bin/$program"
  dpkg -S "/usr/bin/$program" | grep -q '^modbus-tester:' || fail "/usr/bin/$program is not the package's"
done
[ "$(/usr/bin/modbus-cli --version)" = "modbus-cli $version" ] || fail "modbus-cli --version"
[ "$(/usr/bin/modbus-sim --version)" = "modbus-sim $version" ] || fail "modbus-sim --version"
echo "-- /usr/bin/modbus-cli and modbus-sim say version $version"

echo "== /usr/bin/modbus-cli against /usr/bin/modbus-sim =="
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
/usr/bin/modbus-sim --devices 2,7 --log >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do grep -q '^modbus-sim: COM' "$work/sim.log" && break; sleep 0.1; done
port="$(sed -n 's/^modbus-sim: \(COM[0-9]*\) .*/\1/p' "$work/sim.log")"
[ -n "$port" ] || fail "modbus-sim did not start: $(cat "$work/sim.log")"
for device in 2 7; do
  json="$(/usr/bin/modbus-cli --port "$port" --device "$device" --request 3 --data "00 00 00 0A" --json)"
  echo "device $device: $json"
  answer="$(sed -n 's/.*"answer":"\([0-9A-F ]*\)".*/\1/p' <<<"$json")"
  [[ "$json" == '{"result":0,'* ]] || fail "device $device: result is not 0"
  # The answer is what the simulator logged as sent, from the device asked.
  sent="$(sed -n 's/^[0-9:.]* TX \([0-9A-F ]*[0-9A-F]\)  crc ok$/\1/p' "$work/sim.log" | tail -1)"
  [ -n "$answer" ] && [ "$answer" = "$sent" ] || fail "device $device: answer '$answer', the simulator sent '$sent'"
  [ "${answer:0:8}" = "$(printf '%02X 03 14' "$device")" ] || fail "device $device: not its answer to request 3"
done
kill "$sim_pid"
wait "$sim_pid" || fail "modbus-sim did not end cleanly on SIGTERM"
sim_pid=""
[ -z "$(ls -A "$XDG_RUNTIME_DIR/modbus-tester/ports" 2>/dev/null)" ] || fail "modbus-sim left its port entry"

# The window: up and running for a while, then ended by SIGTERM (it has no
# other way to be told to quit without a window system); a crash or a
# missing plugin ends it before that.
window_stays_up() {
  local platform="$1" log="$work/window-$1.log" pid status
  QT_QPA_PLATFORM="$platform" /usr/bin/modbus-tester >"$log" 2>&1 &
  pid=$!
  sleep 5
  kill -0 "$pid" 2>/dev/null || { cat "$log"; fail "the window ($platform) ended by itself"; }
  if [ "$platform" = xcb ]; then
    timeout 20 xdotool search --sync --onlyvisible --name "MODBUS" >/dev/null || fail "no window on the X server"
  fi
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 143 ] || { cat "$log"; fail "the window ($platform) ended with $status, not by SIGTERM"; }
  echo "-- /usr/bin/modbus-tester on $platform: up for 5 s, ended by SIGTERM"
}
echo "== /usr/bin/modbus-tester =="
window_stays_up offscreen
# On an X server through the xcb plugin, which the package depends on.
for display in $(seq 200 250); do [ -e "/tmp/.X$display-lock" ] || break; done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
sleep 1
window_stays_up xcb

echo "== apt-get purge modbus-tester =="
apt purge modbus-tester
! dpkg-query -W -f='${Status}' modbus-tester 2>/dev/null | grep -q "ok installed" || fail "still installed"
left=0
while read -r path; do
  path="${path#.}"
  case "$path" in */) [ -d "$path" ] && [[ "$path" == */modbus-tester/ ]] && { echo "left: $path"; left=1; } ;;
                  *) [ -e "$path" ] && { echo "left: $path"; left=1; } ;; esac
done < <(dpkg-deb --contents "$deb" | awk '{print $6}')
[ "$left" -eq 0 ] || fail "files left after the purge"
echo "-- purged; none of the package's files is left"

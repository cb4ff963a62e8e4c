#!/usr/bin/env bash
# Runs win32-device-check under Wine against a pseudo-terminal peer that
# answers "pong!" to "ping", "ab" to "part" and "0123456789" to "many". Wine
# maps COM7 to the terminal through its dosdevices link. Needs wine and python3; build first with .ci/mingw-build.sh.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
exe="${1:-${MINGW_BUILD_DIR:-$root/build-mingw}/tests/portable/win32-device-check.exe}"
prefix="${WINEPREFIX:-${MINGW_BUILD_DIR:-$root/build-mingw}/wineprefix}"
export WINEPREFIX="$prefix" WINEDEBUG=-all

[ -d "$prefix/dosdevices" ] || wine cmd /c exit >/dev/null 2>&1 || true

exec python3 - "$exe" "$prefix/dosdevices/com7" <<'PY'
import os, pty, select, subprocess, sys
exe, link = sys.argv[1], sys.argv[2]
ANSWERS = {b"ping": b"pong!", b"part": b"ab", b"many": b"0123456789"}
master, slave = pty.openpty()
if os.path.lexists(link):
    os.remove(link)
os.symlink(os.ttyname(slave), link)
try:
    check = subprocess.Popen(["wine", exe, "COM7"], stderr=subprocess.DEVNULL)
    pending = b""
    while check.poll() is None:
        ready, _, _ = select.select([master], [], [], 0.1)
        if ready:
            pending += os.read(master, 256)
            for asked, answer in ANSWERS.items():
                while asked in pending:
                    pending = pending.replace(asked, b"", 1)
                    os.write(master, answer)
    sys.exit(check.returncode)
finally:
    os.remove(link)
PY

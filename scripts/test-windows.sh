#!/usr/bin/env bash
# The Windows half, proven under Wine: cross-builds the serial component, the Windows
# port list and their tests with mingw-w64 (-DQLDIXW_GUI=OFF; there is no Qt for
# Windows here) and runs the tests under Wine in a private prefix (build/windows-wine).
# Each test program runs through a Linux peer (tests/windows/peer) that makes
# pseudo-terminals, publishes them as COM ports of the prefix (dosdevices/comN) and
# plays the devices on them; the tests write the registry values they read themselves.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

qldixw_install_deps "${QLDIXW_WINDOWS_PACKAGES[@]}"
mkdir -p "$QLDIXW_ROOT/build"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver64 || echo /usr/lib/wine/wineserver64)
[ -x "$wine" ] && [ -x "$wineserver" ] || { echo "Wine's loader or server not found" >&2; exit 1; }

# The peer runs on Linux: a small project of its own, built natively.
peer_build="$QLDIXW_ROOT/build/windows-peer"
cmake -S "$QLDIXW_ROOT/tests/windows/peer" -B "$peer_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >"$peer_build.configure.log" 2>&1 || { cat "$peer_build.configure.log" >&2; exit 1; }
cmake --build "$peer_build" --parallel "$(nproc)" >"$peer_build.build.log" 2>&1 ||
  { cat "$peer_build.build.log" >&2; exit 1; }

build="$QLDIXW_ROOT/build/windows-mingw"
qldixw_build "$build" -DCMAKE_TOOLCHAIN_FILE="$QLDIXW_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DQLDIXW_GUI=OFF -DCMAKE_BUILD_TYPE=Debug \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$peer_build/qldixw-winepeer;$wine"

export WINEPREFIX="$QLDIXW_ROOT/build/windows-wine"
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || { cat "$WINEPREFIX.boot.log" >&2; exit 1; }
fi
# Links an interrupted run left behind (the peer publishes COM100 to COM250).
for link in "$WINEPREFIX"/dosdevices/com1[0-9][0-9] "$WINEPREFIX"/dosdevices/com2[0-5][0-9]; do
  if [ -L "$link" ]; then rm -f "$link"; fi
done
# One server for the whole run, so the prefix's services start once, not per test: any
# server of this (private) prefix that is still running, from wineboot or an interrupted
# run, goes first.
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w
"$wineserver" -p 2>>"$WINEPREFIX.server.log"
trap '"$wineserver" -k 2>/dev/null || true' EXIT
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)")
